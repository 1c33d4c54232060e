#include "alerts/ui/EditBalanceAlert.h"

#include "alerts/AlertItem.h"
#include "alerts/AlertSettings.h"
#include "translate/Messages.h"
#include "translate/ui/FormTranslator.h"
#include "widgets/Dialogs.h"
#include "widgets/IntervalBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdint>

namespace {

constexpr int kIntervalDigits = 3;
constexpr int kCredentialLength = 255;
constexpr int kAmountLength = 32;

} // namespace

TfmEditBalanceAlert::TfmEditBalanceAlert(QWidget* owner, TAlertItem& alert) : QDialog(owner), m_alert(alert) {
    setObjectName(QStringLiteral("fmEditBalanceAlert"));
    setWindowTitle(QStringLiteral("Configure Balance Alert"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    gbAlertSettings = new QGroupBox(QStringLiteral("Balance Alert Settings"), this);
    gbAlertSettings->setObjectName(QStringLiteral("gbAlertSettings"));
    auto label = [this](const char* name, const char* caption) {
        auto* l = new QLabel(QString::fromUtf8(caption), gbAlertSettings);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto edit = [this](const char* name, const char* hint) {
        auto* e = new QLineEdit(gbAlertSettings);
        e->setObjectName(QString::fromLatin1(name));
        e->setToolTip(QString::fromUtf8(hint));
        return e;
    };
    lblAlertName = label("lblAlertName", "Alert name:");
    edAlertName = edit("edAlertName", "Name of current alert");
    lblAlertName->setBuddy(edAlertName);

    lblCheckInterval = label("lblCheckInterval", "Check every:");
    auto* interval = new TIntervalBox(gbAlertSettings);
    udInterval = interval;
    udInterval->setObjectName(QStringLiteral("udInterval"));
    udInterval->setRange(1, 999);
    udInterval->setValue(2);
    udInterval->setWrapping(false);
    edInterval = interval->Field();
    edInterval->setObjectName(QStringLiteral("edInterval"));
    edInterval->setToolTip(QStringLiteral("Interval between checks"));
    edInterval->setMaxLength(kIntervalDigits);
    lblCheckInterval->setBuddy(udInterval);
    cbTypes = new QComboBox(gbAlertSettings);
    cbTypes->setObjectName(QStringLiteral("cbTypes"));
    cbTypes->setToolTip(QStringLiteral("Interval kind"));

    cbRequireAuth = new QCheckBox(QStringLiteral("Page requires authorization"), gbAlertSettings);
    cbRequireAuth->setObjectName(QStringLiteral("cbRequireAuth"));
    cbRequireAuth->setToolTip(QStringLiteral("If web-page require authentication - check this checkbox"));
    connect(cbRequireAuth, &QCheckBox::toggled, this, &TfmEditBalanceAlert::cbRequireAuthClick);

    lblPageLogin = label("lblPageLogin", "Page login:");
    edPageLogin = edit("edPageLogin", "Page login");
    edPageLogin->setMaxLength(kCredentialLength);
    lblPageLogin->setBuddy(edPageLogin);
    lblPagePassword = label("lblPagePassword", "Page password:");
    edPagePassword = edit("edPagePassword", "Page password");
    edPagePassword->setMaxLength(kCredentialLength);
    edPagePassword->setEchoMode(QLineEdit::Password);
    lblPagePassword->setBuddy(edPagePassword);
    for (QWidget* w : std::initializer_list<QWidget*>{lblPageLogin, edPageLogin, lblPagePassword, edPagePassword})
        w->setEnabled(false);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setToolTip(QStringLiteral("Close this dialog and save changes"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setToolTip(QStringLiteral("Close this dialog and discard changes"));
    connect(btnOK, &QPushButton::clicked, this, &TfmEditBalanceAlert::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* grid = new QGridLayout(gbAlertSettings);
    grid->addWidget(lblAlertName, 0, 0);
    grid->addWidget(edAlertName, 0, 1, 1, 2);
    grid->addWidget(lblCheckInterval, 1, 0);
    grid->addWidget(udInterval, 1, 1);
    grid->addWidget(cbTypes, 1, 2);
    grid->addWidget(cbRequireAuth, 2, 0, 1, 3);
    grid->addWidget(lblPageLogin, 3, 0);
    grid->addWidget(edPageLogin, 3, 1, 1, 2);
    grid->addWidget(lblPagePassword, 4, 0);
    grid->addWidget(edPagePassword, 4, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    CreateWarnings();
    auto* groups = new QWidget(this);
    auto* stack = new QVBoxLayout(groups);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(gbAlertSettings);
    stack->addWidget(gbWarnings);
    QVBoxLayout* layout = LayOutWithButtons(*this, groups, btnOK, btnCancel);
    // The classic client area of 266 x 197, or more where fonts or a translation need it.
    gbAlertSettings->setMinimumHeight(167);
    setMinimumSize(266 + 12, 197 + 12);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    FormCreate();
}

void TfmEditBalanceAlert::CreateWarnings() {
    gbWarnings = new QGroupBox(QStringLiteral("Warnings"), this);
    gbWarnings->setObjectName(QStringLiteral("gbWarnings"));
    const auto label = [this](const char* name, const char* caption) {
        auto* l = new QLabel(QString::fromUtf8(caption), gbWarnings);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    const auto amount = [this](const char* name, const char* hint) {
        auto* e = new QLineEdit(gbWarnings);
        e->setObjectName(QString::fromLatin1(name));
        e->setToolTip(QString::fromUtf8(hint));
        e->setMaxLength(kAmountLength);
        e->setAlignment(Qt::AlignRight);
        return e;
    };
    lblWarnBelow = label("lblWarnBelow", "Warn below:");
    edWarnBelow = amount("edWarnBelow", "Warn when the balance falls below this amount (empty: never)");
    lblWarnBelow->setBuddy(edWarnBelow);
    lblWarnAbove = label("lblWarnAbove", "Warn above:");
    edWarnAbove = amount("edWarnAbove", "Warn when the balance rises above this amount (empty: never)");
    lblWarnAbove->setBuddy(edWarnAbove);
    lblFailuresBeforeNotice = label("lblFailuresBeforeNotice", "Tell me after this many failed checks in a row:");
    lblFailuresBeforeNotice->setWordWrap(true);
    auto* failures = new TIntervalBox(gbWarnings);
    udFailuresBeforeNotice = failures;
    udFailuresBeforeNotice->setObjectName(QStringLiteral("udFailuresBeforeNotice"));
    udFailuresBeforeNotice->setRange(0, TAlertLimits::kMaxFailuresBeforeNotice);
    udFailuresBeforeNotice->setValue(TAlertLimits::kDefaultFailuresBeforeNotice);
    edFailuresBeforeNotice = failures->Field();
    edFailuresBeforeNotice->setObjectName(QStringLiteral("edFailuresBeforeNotice"));
    edFailuresBeforeNotice->setToolTip(QStringLiteral("0: never tell"));
    edFailuresBeforeNotice->setMaxLength(2);
    lblFailuresBeforeNotice->setBuddy(udFailuresBeforeNotice);

    auto* grid = new QGridLayout(gbWarnings);
    grid->addWidget(lblWarnBelow, 0, 0);
    grid->addWidget(edWarnBelow, 0, 1);
    grid->addWidget(lblWarnAbove, 1, 0);
    grid->addWidget(edWarnAbove, 1, 1);
    grid->addWidget(lblFailuresBeforeNotice, 2, 0);
    grid->addWidget(udFailuresBeforeNotice, 2, 1);
    grid->setColumnStretch(0, 1);
}

void TfmEditBalanceAlert::FormCreate() {
    for (const char* name : {"minutes", "hours", "days"})
        cbTypes->addItem(QString::fromLatin1(name), cbTypes->count());
    // A translation may replace the whole list of units: the items' positions are their values.
    TranslateForm(this);
    for (int i = 0; i < cbTypes->count(); ++i)
        cbTypes->setItemData(i, i);

    const TAlertState state = m_alert.State();
    m_shown = {QString::fromStdString(state.Name), QString::fromStdString(state.PageLogin),
               QString::fromStdString(state.PagePassword), state.PageLogin, state.PagePassword};
    edAlertName->setText(m_shown.name);
    // A name longer than the field shows from its beginning, not scrolled to its end.
    edAlertName->setCursorPosition(0);
    cbRequireAuth->setChecked(state.NeedAuth);
    cbRequireAuthClick();
    edPageLogin->setText(m_shown.login);
    edPagePassword->setText(m_shown.password);
    const int type = cbTypes->findData(static_cast<int>(state.PeriodType));
    cbTypes->setCurrentIndex(type >= 0 ? type : 1);
    // A translated text of the field does not move the up-down box: going through another value
    // first makes the field show the position in every case.
    const int period = static_cast<std::int16_t>(state.Period);
    udInterval->setValue(period == 1 ? 2 : 1);
    udInterval->setValue(period);
    const std::string separator = QLocale::system().decimalPoint().toStdString();
    const auto limitText = [&separator](std::optional<std::int32_t> limit) {
        return limit ? QString::fromStdString(AmountText(*limit, separator)) : QString();
    };
    edWarnBelow->setText(limitText(state.Limits.WarnBelow));
    edWarnAbove->setText(limitText(state.Limits.WarnAbove));
    // As with the interval: another value first, so the field shows the count whatever it held.
    const int failures = state.Limits.FailuresBeforeNotice;
    udFailuresBeforeNotice->setValue(failures == 0 ? 1 : 0);
    udFailuresBeforeNotice->setValue(failures);
    udInterval->setFocus();
}

bool TfmEditBalanceAlert::TakeLimit(QLineEdit& field, std::optional<std::int32_t>& limit) {
    const std::string text = field.text().toStdString();
    if (ParseAmount(text, limit))
        return true;
    ShowMessageBox(this, FormatMsg(LoadStr(2088), {text}), std::string(), QMessageBox::Warning);
    field.setFocus();
    field.selectAll();
    return false;
}

void TfmEditBalanceAlert::cbRequireAuthClick() {
    const bool on = cbRequireAuth->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{lblPageLogin, lblPagePassword, edPageLogin, edPagePassword})
        w->setEnabled(on);
}

void TfmEditBalanceAlert::btnOKClick() {
    // The limits are checked first: a refused one leaves the dialog open and the alert as it was.
    TAlertLimits limits;
    if (!TakeLimit(*edWarnBelow, limits.WarnBelow) || !TakeLimit(*edWarnAbove, limits.WarnAbove))
        return;
    if (limits.WarnBelow && limits.WarnAbove && *limits.WarnBelow > *limits.WarnAbove) {
        ShowMessageBox(this, LoadStr(2089), std::string(), QMessageBox::Warning);
        edWarnBelow->setFocus();
        return;
    }
    limits.FailuresBeforeNotice = udFailuresBeforeNotice->value();
    // A field the user left as it was keeps the alert's own bytes: a text that is not valid UTF-8
    // (a definition written in an old code page) would come back from the field with replacement
    // characters in place of its letters.
    const auto taken = [](const QLineEdit& field, const QString& shown, const std::string& stored) {
        return field.text() == shown ? stored : field.text().toStdString();
    };
    m_alert.SetCredentials(taken(*edPageLogin, m_shown.login, m_shown.loginBytes),
                           taken(*edPagePassword, m_shown.password, m_shown.passwordBytes));
    m_alert.SetNeedAuth(cbRequireAuth->isChecked());
    const int type = cbTypes->currentData().isValid() ? cbTypes->currentData().toInt() : cbTypes->currentIndex();
    if (edAlertName->text() != m_shown.name) {
        const std::string name = edAlertName->text().toStdString();
        if (TAlertSettings::AcceptableName(name))
            m_alert.SetName(name);
    }
    m_alert.SetInterval(udInterval->value(), static_cast<TPeriodType>(type < 0 ? 1 : type));
    m_alert.SetLimits(limits);
    accept();
}
