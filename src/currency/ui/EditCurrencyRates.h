#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TCurrencyList;

// The options of one currency list: how often its window updates it. OK sets the list's interval
// at once (the window's timer uses it); the next save of the list stores it.
class TfmEditCurrencyRates : public QDialog {
    Q_OBJECT

public:
    explicit TfmEditCurrencyRates(TCurrencyList& list, QWidget* parent = nullptr);

    void btnOKClick();

    QGroupBox* gbCurrencyRates = nullptr;
    QLabel* lblInterval = nullptr;
    QLineEdit* edInterval = nullptr; // the text part of udInterval
    QSpinBox* udInterval = nullptr;
    QComboBox* cbTypes = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    TCurrencyList& m_list;
};
