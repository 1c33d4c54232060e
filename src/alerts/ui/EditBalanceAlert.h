#pragma once

#include <QDialog>
#include <QString>

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
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

private:
    void FormCreate();

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
