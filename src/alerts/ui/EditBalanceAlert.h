#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TAlertItem;

// "Configure Balance Alert": the name, check interval, authorization, login and password of one
// alert. OK writes them into the alert (nothing is saved here); Cancel or closing changes nothing.
class TfmEditBalanceAlert : public QDialog {
    Q_OBJECT

public:
    TfmEditBalanceAlert(QWidget* owner, TAlertItem& alert);

    // The login and password fields follow the authorization box; their texts stay.
    void cbRequireAuthClick();
    void btnOKClick();

    QGroupBox* gbAlertSettings = nullptr;
    QLabel* lblAlertName = nullptr;
    QLineEdit* edAlertName = nullptr;
    QLabel* lblCheckInterval = nullptr;
    // The interval: an up-down box of 1 to 999 whose edit field is edInterval.
    QSpinBox* udInterval = nullptr;
    QLineEdit* edInterval = nullptr;
    QComboBox* cbTypes = nullptr;
    QCheckBox* cbRequireAuth = nullptr;
    QLabel* lblPageLogin = nullptr;
    QLineEdit* edPageLogin = nullptr;
    QLabel* lblPagePassword = nullptr;
    QLineEdit* edPagePassword = nullptr;
    // Limits of the balance and how many failed checks in a row make a notice.
    QGroupBox* gbWarnings = nullptr;
    QLabel* lblWarnBelow = nullptr;
    QLineEdit* edWarnBelow = nullptr;
    QLabel* lblWarnAbove = nullptr;
    QLineEdit* edWarnAbove = nullptr;
    QLabel* lblFailuresBeforeNotice = nullptr;
    // An up-down box of 0 (never) to 99 whose edit field is edFailuresBeforeNotice.
    QSpinBox* udFailuresBeforeNotice = nullptr;
    QLineEdit* edFailuresBeforeNotice = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void FormCreate();
    void CreateWarnings();
    // Reads a limit field; a text that is no amount is refused with a message and the field gets
    // the focus.
    bool TakeLimit(QLineEdit& field, std::optional<std::int32_t>& limit);

    TAlertItem& m_alert;
    // What the text fields showed when the dialog opened, and the bytes they came from.
    struct Shown {
        QString name;
        QString login;
        QString password;
        std::string loginBytes;
        std::string passwordBytes;
    } m_shown;
};
