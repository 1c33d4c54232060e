#pragma once

#include "discover/AccountWizard.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTreeWidget;

// "Add account from a page": the address of the account page (and of the login page when it is
// another one) with the login and password; the login form found, as the fields it sends; the
// numbers of the account page to pick the balance from; then the account's name, group, list and
// interval. Finish writes the definition; the caller loads it (see TAccountWizard).
//
// Every step that downloads runs on a worker: the window shows that it is busy and stays usable,
// Cancel stops the download and leaves the window on its page with the engine's message.
class TfmAddAccount : public QDialog {
    Q_OBJECT

public:
    TfmAddAccount(QWidget* owner, TAccountWizard& wizard);
    ~TfmAddAccount() override;

    enum TPage { pgAddressIndex = 0, pgFormIndex = 1, pgNumbersIndex = 2, pgNamesIndex = 3 };
    int CurrentPage() const;
    bool Busy() const { return m_worker != nullptr; }

    void btnNextClick();
    void btnBackClick();
    void btnFinishClick();
    // Stops a download in progress; closes the window otherwise.
    void btnCancelClick();
    // Shows only the numbers whose text or context holds the search.
    void edSearchChange();

    QStackedWidget* swSteps = nullptr;
    QWidget* pgAddress = nullptr;
    QLabel* lblPageUrl = nullptr;
    QLineEdit* edPageUrl = nullptr;
    QLabel* lblLoginPageUrl = nullptr;
    QLineEdit* edLoginPageUrl = nullptr;
    QLabel* lblLogin = nullptr;
    QLineEdit* edLogin = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* edPassword = nullptr;

    QWidget* pgForm = nullptr;
    QLabel* lblForms = nullptr;
    QComboBox* cbForms = nullptr;
    QTreeWidget* lvFormFields = nullptr;

    QWidget* pgNumbers = nullptr;
    QLabel* lblSearch = nullptr;
    QLineEdit* edSearch = nullptr;
    QLabel* lblNumbersCount = nullptr;
    QTreeWidget* lvNumbers = nullptr;

    QWidget* pgNames = nullptr;
    QLabel* lblName = nullptr;
    QLineEdit* edName = nullptr;
    QLabel* lblGroup = nullptr;
    QLineEdit* edGroup = nullptr;
    QLabel* lblList = nullptr;
    QLineEdit* edList = nullptr;
    QLabel* lblInterval = nullptr;
    QSpinBox* udInterval = nullptr;
    QComboBox* cbTypes = nullptr;

    QLabel* lblStatus = nullptr;
    QProgressBar* pbBusy = nullptr;
    QPushButton* btnBack = nullptr;
    QPushButton* btnNext = nullptr;
    QPushButton* btnFinish = nullptr;
    QPushButton* btnCancel = nullptr;

public slots:
    void reject() override;

private:
    void CreateAddressPage();
    void CreateFormPage();
    void CreateNumbersPage();
    void CreateNamesPage();
    // Runs an engine step on a worker; `done` gets its result on this thread.
    void Run(unsigned busyText, TDiscoverWorker::TStep step, void (TfmAddAccount::*done)(const TDiscoverResult&));
    void FormFound(const TDiscoverResult& result);
    // The fields of the form in the chooser.
    void ShowFormFields();
    void PageRead(const TDiscoverResult& result);
    void NumberPicked(const TDiscoverResult& result);
    void ShowPage(TPage page);
    void ShowStatus(const std::string& text);
    void UpdateButtons();

    TAccountWizard& m_wizard;
    std::shared_ptr<TDiscoverWorker> m_worker; // while a step runs
    // The page has several login forms, and the one in the chooser was not looked at yet.
    bool m_formToChoose = false;
    bool m_namesProposed = false;
};
