#include "currency/ui/EditCurrencyRates.h"

#include "currency/CurrencyList.h"
#include "translate/ui/FormTranslator.h"
#include "widgets/Dialogs.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

// The translator passes over components with this tag.
constexpr int kUntranslatedTag = -100;

} // namespace

TfmEditCurrencyRates::TfmEditCurrencyRates(TCurrencyList& list, QWidget* parent) : QDialog(parent), m_list(list) {
    setObjectName(QStringLiteral("fmEditCurrencyRates"));
    setWindowTitle(QStringLiteral("List Options"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);

    gbCurrencyRates = new QGroupBox(QStringLiteral("Currency Rates List Settings"), this);
    gbCurrencyRates->setObjectName(QStringLiteral("gbCurrencyRates"));
    lblInterval = new QLabel(QStringLiteral("Check every:"), gbCurrencyRates);
    lblInterval->setObjectName(QStringLiteral("lblInterval"));
    udInterval = new QSpinBox(gbCurrencyRates);
    udInterval->setObjectName(QStringLiteral("udInterval"));
    udInterval->setRange(1, 999);
    // The number is typed into the box's own line: at most three digits.
    edInterval = udInterval->findChild<QLineEdit*>();
    edInterval->setObjectName(QStringLiteral("edInterval"));
    edInterval->setProperty("tag", kUntranslatedTag);
    edInterval->setMaxLength(3);
    lblInterval->setBuddy(udInterval);
    cbTypes = new QComboBox(gbCurrencyRates);
    cbTypes->setObjectName(QStringLiteral("cbTypes"));
    cbTypes->setToolTip(QStringLiteral("Interval kind"));
    cbTypes->addItem(QStringLiteral("minutes"), static_cast<int>(TPeriodType::minutes));
    cbTypes->addItem(QStringLiteral("hours"), static_cast<int>(TPeriodType::hours));
    cbTypes->addItem(QStringLiteral("days"), static_cast<int>(TPeriodType::days));

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &TfmEditCurrencyRates::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* interval = new QHBoxLayout;
    interval->addWidget(udInterval);
    interval->addWidget(cbTypes, 1);
    auto* groupLayout = new QVBoxLayout(gbCurrencyRates);
    groupLayout->addWidget(lblInterval);
    groupLayout->addLayout(interval);
    LayOutWithButtons(*this, gbCurrencyRates, btnOK, btnCancel)->setSizeConstraint(QLayout::SetFixedSize);

    TranslateForm(this);

    // The list's unit, or hours for a unit the box does not know; its count within 1 to 999.
    const int type = cbTypes->findData(static_cast<int>(m_list.PeriodType));
    cbTypes->setCurrentIndex(type >= 0 ? type : 1);
    udInterval->setValue(m_list.Period);
}

void TfmEditCurrencyRates::btnOKClick() {
    // What is typed counts even before the box has taken it.
    udInterval->interpretText();
    m_list.PeriodType = static_cast<TPeriodType>(cbTypes->currentData().toInt());
    m_list.Period = udInterval->value();
    accept();
}
