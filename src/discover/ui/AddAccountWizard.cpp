#include "discover/ui/AddAccountWizard.h"

#include "discover/PageNumbers.h"
#include "platform/Events.h"
#include "translate/Messages.h"
#include "translate/ui/FormTranslator.h"

#include <QComboBox>
#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

// The tag of a control whose text the form translation leaves alone: it shows what the engine says.
constexpr int kUntranslatedTag = -100;
constexpr int kNumberRole = Qt::UserRole;

template <typename T>
T* Named(T* control, const char* name) {
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

// The caption of a step, in bold above its page.
QLabel* StepCaption(QWidget* page, const char* name, const char* caption) {
    auto* label = Named(new QLabel(QString::fromUtf8(caption), page), name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setWordWrap(true);
    return label;
}

} // namespace

TfmAddAccount::TfmAddAccount(QWidget* owner, TAccountWizard& wizard) : QDialog(owner), m_wizard(wizard) {
    setObjectName(QStringLiteral("fmAddAccount"));
    setWindowTitle(QStringLiteral("Add account from a page"));
    swSteps = Named(new QStackedWidget(this), "swSteps");
    CreateAddressPage();
    CreateFormPage();
    CreateNumbersPage();
    CreateNamesPage();

    lblStatus = Named(new QLabel(this), "lblStatus");
    lblStatus->setProperty("tag", kUntranslatedTag);
    lblStatus->setWordWrap(true);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    pbBusy = Named(new QProgressBar(this), "pbBusy");
    pbBusy->setRange(0, 0); // no end known: it only shows that the window is at work
    pbBusy->setTextVisible(false);
    pbBusy->setMaximumHeight(12);
    pbBusy->hide();
    btnBack = Named(new QPushButton(QStringLiteral("< Back"), this), "btnBack");
    btnNext = Named(new QPushButton(QStringLiteral("Next >"), this), "btnNext");
    btnFinish = Named(new QPushButton(QStringLiteral("Finish"), this), "btnFinish");
    btnCancel = Named(new QPushButton(QStringLiteral("Cancel"), this), "btnCancel");
    btnNext->setDefault(true);
    connect(btnBack, &QPushButton::clicked, this, &TfmAddAccount::btnBackClick);
    connect(btnNext, &QPushButton::clicked, this, &TfmAddAccount::btnNextClick);
    connect(btnFinish, &QPushButton::clicked, this, &TfmAddAccount::btnFinishClick);
    connect(btnCancel, &QPushButton::clicked, this, &TfmAddAccount::btnCancelClick);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pbBusy, 3);
    buttons->addStretch(1);
    buttons->addWidget(btnBack);
    buttons->addWidget(btnNext);
    buttons->addWidget(btnFinish);
    buttons->addWidget(btnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(swSteps, 1);
    layout->addWidget(lblStatus);
    layout->addLayout(buttons);

    TranslateForm(this);
    // A translation may replace the whole list of units: the items' positions are their values.
    cbTypes->setCurrentIndex(static_cast<int>(TPeriodType::hours));
    resize(640, 440);
    ShowPage(pgAddressIndex);
}

TfmAddAccount::~TfmAddAccount() {
    // A step still running delivers nothing to a window that is gone; it keeps the engine alive.
    if (m_worker)
        m_worker->Cancel();
}

void TfmAddAccount::CreateAddressPage() {
    pgAddress = Named(new QWidget(swSteps), "pgAddress");
    lblPageUrl =
        Named(new QLabel(QStringLiteral("Address of the page that shows the balance:"), pgAddress), "lblPageUrl");
    edPageUrl = Named(new QLineEdit(pgAddress), "edPageUrl");
    edPageUrl->setToolTip(QStringLiteral("The page you see after logging in, with the balance on it"));
    lblLoginPageUrl =
        Named(new QLabel(QStringLiteral("Login page, if it is another one (found by itself if empty):"), pgAddress),
              "lblLoginPageUrl");
    edLoginPageUrl = Named(new QLineEdit(pgAddress), "edLoginPageUrl");
    lblLogin = Named(new QLabel(QStringLiteral("Login:"), pgAddress), "lblLogin");
    edLogin = Named(new QLineEdit(pgAddress), "edLogin");
    lblPassword = Named(new QLabel(QStringLiteral("Password:"), pgAddress), "lblPassword");
    edPassword = Named(new QLineEdit(pgAddress), "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setToolTip(QStringLiteral("Kept encrypted with the account's settings, never in its definition"));
    auto* layout = new QVBoxLayout(pgAddress);
    layout->addWidget(StepCaption(pgAddress, "lblAddressStep", "Step 1 of 4: the page that shows the balance"));
    for (QWidget* control : std::initializer_list<QWidget*>{lblPageUrl, edPageUrl, lblLoginPageUrl, edLoginPageUrl})
        layout->addWidget(control);
    auto* credentials = new QFormLayout;
    credentials->addRow(lblLogin, edLogin);
    credentials->addRow(lblPassword, edPassword);
    layout->addSpacing(8);
    layout->addLayout(credentials);
    layout->addStretch(1);
    swSteps->addWidget(pgAddress);
}

void TfmAddAccount::CreateFormPage() {
    pgForm = Named(new QWidget(swSteps), "pgForm");
    lblForms = Named(new QLabel(QStringLiteral("Login form:"), pgForm), "lblForms");
    cbForms = Named(new QComboBox(pgForm), "cbForms");
    cbForms->setProperty("tag", kUntranslatedTag);
    connect(cbForms, &QComboBox::activated, this, [this] {
        m_formToChoose = true;
        ShowFormFields();
    });
    lvFormFields = Named(new QTreeWidget(pgForm), "lvFormFields");
    lvFormFields->setHeaderLabels({QStringLiteral("Field"), QStringLiteral("Sent")});
    lvFormFields->setRootIsDecorated(false);
    lvFormFields->setSelectionMode(QAbstractItemView::NoSelection);
    lvFormFields->header()->setStretchLastSection(true);
    lvFormFields->setColumnWidth(0, 180);
    auto* layout = new QVBoxLayout(pgForm);
    layout->addWidget(StepCaption(pgForm, "lblFormStep", "Step 2 of 4: the login form found, and what it sends"));
    auto* chooser = new QHBoxLayout;
    chooser->addWidget(lblForms);
    chooser->addWidget(cbForms, 1);
    layout->addLayout(chooser);
    layout->addWidget(lvFormFields, 1);
    swSteps->addWidget(pgForm);
}

void TfmAddAccount::CreateNumbersPage() {
    pgNumbers = Named(new QWidget(swSteps), "pgNumbers");
    lblSearch = Named(new QLabel(QStringLiteral("Search the page:"), pgNumbers), "lblSearch");
    edSearch = Named(new QLineEdit(pgNumbers), "edSearch");
    edSearch->setToolTip(QStringLiteral("Shows only the numbers with this text around them"));
    connect(edSearch, &QLineEdit::textChanged, this, &TfmAddAccount::edSearchChange);
    lblNumbersCount = Named(new QLabel(pgNumbers), "lblNumbersCount");
    lblNumbersCount->setProperty("tag", kUntranslatedTag);
    lvNumbers = Named(new QTreeWidget(pgNumbers), "lvNumbers");
    lvNumbers->setHeaderLabels({QStringLiteral("Number"), QStringLiteral("Text around it")});
    lvNumbers->setRootIsDecorated(false);
    lvNumbers->setSelectionMode(QAbstractItemView::SingleSelection);
    lvNumbers->header()->setStretchLastSection(true);
    lvNumbers->setColumnWidth(0, 110);
    connect(lvNumbers, &QTreeWidget::itemSelectionChanged, this, &TfmAddAccount::UpdateButtons);
    connect(lvNumbers, &QTreeWidget::itemDoubleClicked, this, [this] { btnNextClick(); });
    auto* layout = new QVBoxLayout(pgNumbers);
    layout->addWidget(StepCaption(pgNumbers, "lblNumbersStep", "Step 3 of 4: choose the number that is the balance"));
    auto* search = new QHBoxLayout;
    search->addWidget(lblSearch);
    search->addWidget(edSearch, 1);
    search->addWidget(lblNumbersCount);
    layout->addLayout(search);
    layout->addWidget(lvNumbers, 1);
    swSteps->addWidget(pgNumbers);
}

void TfmAddAccount::CreateNamesPage() {
    pgNames = Named(new QWidget(swSteps), "pgNames");
    lblName = Named(new QLabel(QStringLiteral("Account name:"), pgNames), "lblName");
    edName = Named(new QLineEdit(pgNames), "edName");
    lblGroup = Named(new QLabel(QStringLiteral("Group:"), pgNames), "lblGroup");
    edGroup = Named(new QLineEdit(pgNames), "edGroup");
    lblList = Named(new QLabel(QStringLiteral("List:"), pgNames), "lblList");
    edList = Named(new QLineEdit(pgNames), "edList");
    edList->setToolTip(QStringLiteral("The list of alerts the account is shown in"));
    lblInterval = Named(new QLabel(QStringLiteral("Check every:"), pgNames), "lblInterval");
    udInterval = Named(new QSpinBox(pgNames), "udInterval");
    udInterval->setRange(1, 999);
    udInterval->setValue(1);
    cbTypes = Named(new QComboBox(pgNames), "cbTypes");
    cbTypes->addItems({QStringLiteral("minutes"), QStringLiteral("hours"), QStringLiteral("days")});
    auto* interval = new QHBoxLayout;
    interval->addWidget(udInterval);
    interval->addWidget(cbTypes);
    interval->addStretch(1);
    auto* layout = new QFormLayout(pgNames);
    layout->addRow(StepCaption(pgNames, "lblNamesStep", "Step 4 of 4: how the account is shown and checked"));
    layout->addRow(lblName, edName);
    layout->addRow(lblGroup, edGroup);
    layout->addRow(lblList, edList);
    layout->addRow(lblInterval, interval);
    swSteps->addWidget(pgNames);
}

int TfmAddAccount::CurrentPage() const {
    return swSteps->currentIndex();
}

void TfmAddAccount::ShowPage(TPage page) {
    swSteps->setCurrentIndex(page);
    UpdateButtons();
    // Typing goes on where the page begins: its first field (the steps were disabled while busy,
    // which took the focus away).
    QWidget* first = edName;
    if (page == pgAddressIndex)
        first = edPageUrl;
    else if (page == pgFormIndex)
        first = cbForms->isEnabled() ? static_cast<QWidget*>(cbForms) : lvFormFields;
    else if (page == pgNumbersIndex)
        first = edSearch;
    first->setFocus();
}

void TfmAddAccount::ShowStatus(const std::string& text) {
    lblStatus->setText(QString::fromStdString(text));
}

void TfmAddAccount::UpdateButtons() {
    const bool busy = Busy();
    const int page = CurrentPage();
    swSteps->setEnabled(!busy);
    pbBusy->setVisible(busy);
    btnBack->setEnabled(!busy && page != pgAddressIndex);
    btnNext->setVisible(page != pgNamesIndex);
    btnNext->setEnabled(!busy && (page != pgNumbersIndex || !lvNumbers->selectedItems().isEmpty()));
    btnFinish->setVisible(page == pgNamesIndex);
    btnFinish->setEnabled(!busy);
    btnFinish->setDefault(page == pgNamesIndex);
    btnNext->setDefault(page != pgNamesIndex);
}

void TfmAddAccount::Run(unsigned busyText, TDiscoverWorker::TStep step,
                        void (TfmAddAccount::*done)(const TDiscoverResult&)) {
    m_wizard.CancelEvent->Reset();
    m_worker = std::make_shared<TDiscoverWorker>(m_wizard.Discovery, m_wizard.CancelEvent, std::move(step),
                                                 [this, done](const TDiscoverResult& result) {
                                                     m_worker.reset();
                                                     ShowStatus(std::string());
                                                     (this->*done)(result);
                                                     UpdateButtons();
                                                 });
    ShowStatus(LoadStr(busyText));
    UpdateButtons();
    m_worker->Resume();
}

void TfmAddAccount::btnNextClick() {
    if (Busy())
        return;
    TAccountDiscovery& discovery = *m_wizard.Discovery;
    switch (CurrentPage()) {
    case pgAddressIndex:
        if (edPageUrl->text().trimmed().isEmpty()) {
            ShowStatus(LoadStr(2195));
            edPageUrl->setFocus();
            return;
        }
        discovery.PageUrl = edPageUrl->text().trimmed().toStdString();
        discovery.LoginPageUrl = edLoginPageUrl->text().trimmed().toStdString();
        discovery.Login = edLogin->text().toStdString();
        discovery.Password = edPassword->text().toStdString();
        Run(
            2188, [](TAccountDiscovery& engine) { return engine.FindLoginForm(); }, &TfmAddAccount::FormFound);
        return;
    case pgFormIndex:
        if (m_formToChoose && cbForms->currentIndex() >= 0) {
            const auto choice = static_cast<std::size_t>(cbForms->currentIndex());
            Run(
                2189,
                [choice](TAccountDiscovery& engine) {
                    TDiscoverResult found = engine.FindLoginForm(choice);
                    return found.Ok() ? engine.ReadAccountPage() : found;
                },
                &TfmAddAccount::PageRead);
            return;
        }
        Run(
            2189, [](TAccountDiscovery& engine) { return engine.ReadAccountPage(); }, &TfmAddAccount::PageRead);
        return;
    case pgNumbersIndex: {
        const QList<QTreeWidgetItem*> selected = lvNumbers->selectedItems();
        if (selected.isEmpty()) {
            ShowStatus(LoadStr(2187));
            return;
        }
        const auto index = selected.front()->data(0, kNumberRole).value<qulonglong>();
        Run(
            2190, [index](TAccountDiscovery& engine) { return engine.Pick(index); }, &TfmAddAccount::NumberPicked);
        return;
    }
    default:
        return;
    }
}

void TfmAddAccount::FormFound(const TDiscoverResult& result) {
    if (!m_wizard.ShowsForm(result)) {
        if (!result.Ok()) {
            ShowStatus(result.Text);
            return;
        }
        // The account page asks for no login: its numbers are read at once.
        Run(
            2189, [](TAccountDiscovery& engine) { return engine.ReadAccountPage(); }, &TfmAddAccount::PageRead);
        return;
    }
    const TAccountDiscovery& discovery = *m_wizard.Discovery;
    cbForms->clear();
    for (const std::string& choice : m_wizard.FormChoices())
        cbForms->addItem(QString::fromStdString(choice));
    // Until the user has chosen among several forms, the first is shown.
    const std::size_t shown = result.Ok() ? discovery.FormIndex : 0;
    cbForms->setCurrentIndex(static_cast<int>(std::min(shown, discovery.Forms.size() - 1)));
    cbForms->setEnabled(discovery.Forms.size() > 1);
    m_formToChoose = !result.Ok();
    ShowFormFields();
    ShowPage(pgFormIndex);
    ShowStatus(result.Text);
}

void TfmAddAccount::ShowFormFields() {
    lvFormFields->clear();
    if (cbForms->currentIndex() < 0)
        return;
    for (const auto& [name, sent] : m_wizard.FormFields(static_cast<std::size_t>(cbForms->currentIndex())))
        new QTreeWidgetItem(lvFormFields, {QString::fromStdString(name), QString::fromStdString(sent)});
}

void TfmAddAccount::PageRead(const TDiscoverResult& result) {
    if (!result.Ok()) {
        ShowStatus(result.Text);
        return;
    }
    m_formToChoose = false;
    lvNumbers->clear();
    for (const TPageNumber& number : m_wizard.Discovery->Numbers) {
        auto* row = new QTreeWidgetItem(
            lvNumbers, {QString::fromStdString(number.Written), QString::fromStdString(number.Context)});
        row->setData(0, kNumberRole, static_cast<qulonglong>(number.Index));
        row->setToolTip(1, QString::fromStdString(number.Context));
    }
    edSearchChange();
    ShowPage(pgNumbersIndex);
    if (!m_wizard.Discovery->Notes.empty())
        ShowStatus(m_wizard.Discovery->Notes.back());
}

void TfmAddAccount::edSearchChange() {
    const std::vector<std::size_t> shown = m_wizard.NumbersMatching(edSearch->text().toStdString());
    std::vector<bool> visible(static_cast<std::size_t>(lvNumbers->topLevelItemCount()), false);
    for (const std::size_t at : shown)
        if (at < visible.size())
            visible[at] = true;
    for (int i = 0; i < lvNumbers->topLevelItemCount(); ++i)
        lvNumbers->topLevelItem(i)->setHidden(!visible[static_cast<std::size_t>(i)]);
    lblNumbersCount->setText(QString::fromStdString(FormatMsg(
        LoadStr(2192), {static_cast<std::uint64_t>(shown.size()), static_cast<std::uint64_t>(visible.size())})));
    UpdateButtons();
}

void TfmAddAccount::NumberPicked(const TDiscoverResult& result) {
    if (!result.Ok()) {
        ShowStatus(result.Text);
        return;
    }
    if (!m_namesProposed) {
        m_namesProposed = true;
        const TWizardNames names = m_wizard.ProposedNames();
        edName->setText(QString::fromStdString(names.Name));
        edGroup->setText(QString::fromStdString(names.GroupName));
        edList->setText(QString::fromStdString(names.ListName));
    }
    ShowPage(pgNamesIndex);
    edName->setFocus();
    edName->selectAll();
}

void TfmAddAccount::btnBackClick() {
    if (Busy())
        return;
    ShowStatus(std::string());
    switch (CurrentPage()) {
    case pgFormIndex:
        ShowPage(pgAddressIndex);
        return;
    case pgNumbersIndex:
        ShowPage(m_wizard.Discovery->NeedsLogin() ? pgFormIndex : pgAddressIndex);
        return;
    case pgNamesIndex:
        ShowPage(pgNumbersIndex);
        return;
    default:
        return;
    }
}

void TfmAddAccount::btnFinishClick() {
    if (Busy() || CurrentPage() != pgNamesIndex)
        return;
    TWizardNames names;
    names.Name = edName->text().toStdString();
    names.GroupName = edGroup->text().toStdString();
    names.ListName = edList->text().toStdString();
    names.Period = udInterval->value();
    names.PeriodType = static_cast<TPeriodType>(std::clamp(cbTypes->currentIndex(), 0, 2));
    const TDiscoverResult finished = m_wizard.Finish(names);
    if (!finished.Ok()) {
        ShowStatus(finished.Text);
        return;
    }
    accept();
}

void TfmAddAccount::btnCancelClick() {
    if (Busy()) {
        // The download stops within moments; the step then reports the cancelling as its result.
        m_wizard.CancelEvent->Set();
        ShowStatus(LoadStr(2191));
        return;
    }
    reject();
}

void TfmAddAccount::reject() {
    if (m_worker) {
        m_worker->Cancel();
        m_worker.reset();
    }
    QDialog::reject();
}
