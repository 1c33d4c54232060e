#include "widgets/Dialogs.h"

#include "base/Program.h"
#include "translate/ui/FormTranslator.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <deque>

namespace {

// Dialogs run on the user-interface thread only, so these need no lock.
std::deque<TDialogAnswer>& Answers() {
    static std::deque<TDialogAnswer> queue;
    return queue;
}

bool& NonInteractive() {
    static bool value = false;
    return value;
}

TUrlOpener& UrlOpener() {
    static TUrlOpener opener;
    return opener;
}

void CentreOnScreen(QWidget& widget) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    widget.move(screen->availableGeometry().center() - widget.rect().center());
}

QString& ApplicationTitleStore() {
    static QString title = QString::fromUtf8(kProgramCaption);
    return title;
}

int& UnansweredInARow() {
    static int count = 0;
    return count;
}

} // namespace

void PushDialogAnswer(TDialogAnswer answer) {
    Answers().push_back(std::move(answer));
}

std::size_t PendingDialogAnswers() {
    return Answers().size();
}

void ClearDialogAnswers() {
    Answers().clear();
}

void SetDialogsNonInteractive(bool value) {
    NonInteractive() = value;
}

int RunModal(QDialog& dialog) {
    if (!Answers().empty()) {
        UnansweredInARow() = 0;
        TDialogAnswer answer = std::move(Answers().front());
        Answers().pop_front();
        return answer(dialog);
    }
    if (NonInteractive()) {
        // A run without a user rejects the dialog. A flow that keeps asking would never end, so
        // a long run of unanswered dialogs stops the process with a clear message.
        if (++UnansweredInARow() > 1000)
            qFatal("Dialog '%s' shown with no answer queued", qPrintable(dialog.objectName()));
        return QDialog::Rejected;
    }
    return dialog.exec();
}

void SetApplicationTitle(const QString& title) {
    ApplicationTitleStore() = title;
}

QString ApplicationTitle() {
    return ApplicationTitleStore();
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                                           QMessageBox::Icon icon, QMessageBox::StandardButtons buttons) {
    const QString title = caption.empty() ? ApplicationTitle() : QString::fromStdString(caption);
    QMessageBox box(icon, title, QString::fromStdString(text), buttons, parent);
    box.setObjectName(QStringLiteral("MessageBox"));
    const int result = RunModal(box);
    // exec() answers with the pressed standard button; a box closed another way gives something else.
    const auto button = static_cast<QMessageBox::StandardButton>(result);
    return buttons.testFlag(button) ? button : QMessageBox::NoButton;
}

TfmInputBox::TfmInputBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmInputBox"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    gbInput = new QGroupBox(this);
    gbInput->setObjectName(QStringLiteral("gbInput"));
    lblPrompt = new QLabel(gbInput);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    edInput = new QLineEdit(gbInput);
    edInput->setObjectName(QStringLiteral("edInput"));
    lblPrompt->setBuddy(edInput);
    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* groupLayout = new QVBoxLayout(gbInput);
    groupLayout->addWidget(lblPrompt);
    groupLayout->addWidget(edInput);
    LayOutWithButtons(*this, gbInput, btnOK, btnCancel);
    setMinimumSize(325 + 12, 106 + 12);
    TranslateForm(this);
}

bool ShowInputBox(QWidget* parent, const std::string& title, const std::string& groupCaption, const std::string& prompt,
                  char passwordChar, std::string& text) {
    TfmInputBox box(parent);
    box.setWindowTitle(QString::fromStdString(title));
    box.gbInput->setTitle(QString::fromStdString(groupCaption));
    box.lblPrompt->setText(QString::fromStdString(prompt));
    box.edInput->setEchoMode(passwordChar != 0 ? QLineEdit::Password : QLineEdit::Normal);
    box.edInput->setText(QString::fromStdString(text));
    box.adjustSize();
    CentreOnScreen(box);
    if (RunModal(box) != QDialog::Accepted)
        return false;
    text = box.edInput->text().toStdString();
    return true;
}

void SetUrlOpener(TUrlOpener opener) {
    UrlOpener() = std::move(opener);
}

void ShellOpen(const QUrl& url) {
    if (UrlOpener()) {
        UrlOpener()(url);
        return;
    }
    // A link the desktop cannot open is not reported.
    QDesktopServices::openUrl(url);
}

QVBoxLayout* LayOutWithButtons(QWidget& form, QWidget* content, QPushButton* ok, QPushButton* cancel, int stretch) {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(&form);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(content, stretch);
    layout->addLayout(buttons);
    return layout;
}
