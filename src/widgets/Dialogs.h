#pragma once

#include <QMessageBox>

#include <functional>
#include <string>

class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QUrl;
class QVBoxLayout;
class QWidget;

// Lays a form out as the program's dialogs are: `content` above a row with the OK and Cancel
// buttons at its right end, inside margins of 6 pixels. The content gets `stretch`.
QVBoxLayout* LayOutWithButtons(QWidget& form, QWidget* content, QPushButton* ok, QPushButton* cancel, int stretch = 0);

// Every modal dialog of the program runs through RunModal. Tests queue answers: an answer gets the
// dialog fully set up (it may read it, type into it, press its buttons) and returns the dialog's
// result in place of the user.
using TDialogAnswer = std::function<int(QDialog&)>;
void PushDialogAnswer(TDialogAnswer answer);
std::size_t PendingDialogAnswers();
void ClearDialogAnswers();
// With no queued answer a non-interactive run rejects a dialog at once instead of waiting for a
// user who is not there.
void SetDialogsNonInteractive(bool nonInteractive);

int RunModal(QDialog& dialog);

// The application's title: the caption of message boxes that name none and the About box's version
// line. The program keeps it itself: Qt's application display name would be appended to every
// window title by the X11 and Wayland platforms ("Message — ...").
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();

// A message box with the given caption (ApplicationTitle() when empty), icon and buttons;
// returns the button pressed, or QMessageBox::NoButton when the box was closed otherwise.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption,
                                           QMessageBox::Icon icon,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The input box: a group box holding a prompt and one edit field, with OK and Cancel.
class TfmInputBox : public QDialog {
    Q_OBJECT

public:
    explicit TfmInputBox(QWidget* parent = nullptr);

    QGroupBox* gbInput = nullptr;
    QLabel* lblPrompt = nullptr;
    QLineEdit* edInput = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;
};

// Shows the input box modally. `passwordChar` other than 0 hides what is typed. On OK returns true
// and the text exactly as typed in `text`; otherwise returns false and leaves `text` untouched.
bool ShowInputBox(QWidget* parent, const std::string& title, const std::string& groupCaption, const std::string& prompt,
                  char passwordChar, std::string& text);

// Asks the desktop to open a link or file with the user's default program. Tests replace the
// opener so that nothing is launched.
using TUrlOpener = std::function<void(const QUrl&)>;
void SetUrlOpener(TUrlOpener opener);
void ShellOpen(const QUrl& url);
