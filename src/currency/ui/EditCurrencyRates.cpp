#include "currency/ui/EditCurrencyRates.h"

#include "currency/CurrencyList.h"
#include "translate/ui/FormTranslator.h"
#include "widgets/Dialogs.h"
#include "widgets/IntervalBox.h"

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
    auto* interval = new TIntervalBox(gbCurrencyRates);
    udInterval = interval;
    udInterval->setObjectName(QStringLiteral("udInterval"));
    udInterval->setRange(1, 999);
    // The number is typed into the box's own line: at most three digits.
    edInterval = interval->Field();
    edInterval->setObjectName(QStringLiteral("edInterval"));
    edInterval->setProperty("tag", kUntranslatedTag);
    edInterval->setMaxLength(3);
    lblInterval->setBuddy(udInterval);
    cbTypes = new QComboBox(gbCurrencyRates);
    cbTypes->setObjectName(QStringLiteral("cbTypes"));
    cbTypes->setToolTip(QStringLiteral("Interval kind"));
    for (const char* name : {"minutes", "hours", "days"})
        cbTypes->addItem(QString::fromLatin1(name), cbTypes->count());

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOK, &QPushButton::clicked, this, &TfmEditCurrencyRates::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* intervalRow = new QHBoxLayout;
    intervalRow->addWidget(udInterval);
    intervalRow->addWidget(cbTypes, 1);
    auto* groupLayout = new QVBoxLayout(gbCurrencyRates);
    groupLayout->addWidget(lblInterval);
    groupLayout->addLayout(intervalRow);
    LayOutWithButtons(*this, gbCurrencyRates, btnOK, btnCancel)->setSizeConstraint(QLayout::SetFixedSize);

    // A translation may replace the whole list of units, with more or fewer of them: the items'
    // positions are their values, so the unit stored is always the one shown.
    TranslateForm(this);
    for (int i = 0; i < cbTypes->count(); ++i)
        cbTypes->setItemData(i, i);

    // The list's unit, or hours for a unit the box does not know; its count within 1 to 999.
    const int type = cbTypes->findData(static_cast<int>(m_list.PeriodType));
    cbTypes->setCurrentIndex(type >= 0 ? type : 1);
    udInterval->setValue(m_list.Period);
}

void TfmEditCurrencyRates::btnOKClick() {
    // What is typed counts even before the box has taken it.
    udInterval->interpretText();
    // An item's position is its unit; with no item shown the unit stays.
    if (cbTypes->currentIndex() >= 0)
        m_list.PeriodType = static_cast<TPeriodType>(cbTypes->currentIndex());
    m_list.Period = udInterval->value();
    accept();
}
