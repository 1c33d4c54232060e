#pragma once

#include "platform/Version.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The control called `name` inside `window`, found as the translation files find it: by its name,
// at any depth. A missing control fails the test at once.
template <typename T>
T* Control(const QObject& window, const char* name) {
    T* control = window.findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) {
        ADD_FAILURE() << "no control " << name << " in " << window.objectName().toStdString();
        throw std::runtime_error(std::string("missing control ") + name);
    }
    return control;
}

// One press and release of a key.
inline void PressKey(QWidget& widget, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
}

// A key held down until the keyboard repeats it, then let go.
inline void HoldKey(QWidget& widget, Qt::Key key, int repeats) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &press);
    for (int i = 0; i < repeats; ++i) {
        QKeyEvent repeatRelease(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(&widget, &repeatRelease);
        QKeyEvent repeatPress(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
        QApplication::sendEvent(&widget, &repeatPress);
    }
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(&widget, &release);
}

// A click of the left button in the middle of a header's section, as the user makes it: the header
// turns its sort arrow itself before it tells of the click.
inline void ClickHeaderSection(QHeaderView& header, int section) {
    QWidget& viewport = *header.viewport();
    const QPoint pos(header.sectionViewportPosition(section) + header.sectionSize(section) / 2, header.height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, pos, viewport.mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, pos, viewport.mapToGlobal(pos), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(&viewport, &release);
}

// The settings window's caption; a debug build marks its version " RC".
inline QString ProgramCaption() {
    return QStringLiteral("Tallyglass! v. 1.0.0.41") +
           (ProgramFileVersion().DebugBuild ? QStringLiteral(" RC") : QString());
}

// What the queued answers saw of the dialogs they answered.
struct SeenDialog {
    QString title;
    QString group; // input boxes: the group caption; message boxes: the text
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool password = false;
};

// Answers the next input box: types `text` and presses OK, or presses Cancel when there is none.
inline void AnswerInputBox(std::optional<std::string> text, std::vector<SeenDialog>* seen = nullptr) {
    PushDialogAnswer([text, seen](QDialog& dialog) {
        auto& box = dynamic_cast<TfmInputBox&>(dialog);
        if (seen != nullptr)
            seen->push_back({box.windowTitle(), box.gbInput->title(), QMessageBox::NoIcon,
                             box.edInput->echoMode() == QLineEdit::Password});
        if (!text)
            return static_cast<int>(QDialog::Rejected);
        box.edInput->setText(QString::fromStdString(*text));
        return static_cast<int>(QDialog::Accepted);
    });
}

// Answers the next message box with `button`.
inline void AnswerMessageBox(QMessageBox::StandardButton button, std::vector<SeenDialog>* seen = nullptr) {
    PushDialogAnswer([button, seen](QDialog& dialog) {
        auto& box = dynamic_cast<QMessageBox&>(dialog);
        if (seen != nullptr)
            seen->push_back({box.windowTitle(), box.text(), box.icon(), false});
        return static_cast<int>(button);
    });
}
