#include "app/ui/Application.h"
#include "gui/GuiTestSupport.h"
#include "support/TestSupport.h"
#include "translate/InterfaceTranslator.h"
#include "widgets/Dialogs.h"
#include "widgets/HotKeyEdit.h"
#include "widgets/NewHint.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

void typeInto(QWidget& widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(&widget, &press);
}

} // namespace

TEST(HotKeyField, KeysWithoutModifierOrWithShiftAloneAreTakenWithAlt) {
    THotKey field;
    typeInto(field, Qt::Key_B);
    EXPECT_EQ(field.HotKey(), 0x8000 | 'B');
    typeInto(field, Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(field.HotKey(), 0x8000 | 0x2000 | 0x74);
    typeInto(field, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(field.HotKey(), 0x4000 | 0x2000 | 'X');
    typeInto(field, Qt::Key_5, Qt::KeypadModifier | Qt::ControlModifier);
    EXPECT_EQ(field.HotKey(), 0x4000 | 0x65);
    EXPECT_FALSE(field.text().isEmpty());
    // A modifier on its own, or a key without a code, changes nothing.
    typeInto(field, Qt::Key_Control, Qt::ControlModifier);
    typeInto(field, Qt::Key_Launch0, Qt::ControlModifier);
    EXPECT_EQ(field.HotKey(), 0x4000 | 0x65);
    // Clearing the field means no shortcut.
    field.clear();
    EXPECT_EQ(field.HotKey(), 0);
    field.SetHotKey(0xC042);
    EXPECT_EQ(field.text(), ShortCutToText(0xC042));
    EXPECT_TRUE(field.text().contains(QLatin1Char('B')));
}

TEST(InputBox, OkReturnsTheTextAsTypedAndEscapeLeavesTheOutputUntouched) {
    std::string text = "initial";
    PushDialogAnswer([](QDialog& dialog) {
        auto& box = dynamic_cast<TfmInputBox&>(dialog);
        EXPECT_EQ(box.edInput->text(), QStringLiteral("initial"));
        EXPECT_EQ(box.edInput->echoMode(), QLineEdit::Normal);
        EXPECT_EQ(box.lblPrompt->text(), QStringLiteral("Prompt:"));
        box.show();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(&box, &escape);
        return box.result();
    });
    EXPECT_FALSE(ShowInputBox(nullptr, "Title", "Group", "Prompt:", 0, text));
    EXPECT_EQ(text, "initial");

    PushDialogAnswer([](QDialog& dialog) {
        auto& box = dynamic_cast<TfmInputBox&>(dialog);
        box.show();
        box.edInput->setText(QStringLiteral(" typed  "));
        box.btnOK->click();
        return box.result();
    });
    EXPECT_TRUE(ShowInputBox(nullptr, "Title", "Group", "Prompt:", 0, text));
    EXPECT_EQ(text, " typed  ");
}

TEST(Hints, HintWindowSizeAndTheRulesThatAllowAHint) {
    TNewHint hint;
    const QSize size = hint.CalcHintRect(300, QStringLiteral("Some hint"));
    const QRect text =
        hint.fontMetrics().boundingRect(QRect(0, 0, 300, 0), Qt::TextWordWrap, QStringLiteral("Some hint"));
    EXPECT_EQ(size, QSize(text.width() + 8, text.height() + 4));
    // A long text wraps within the width.
    const QString longText = QStringLiteral("word ").repeated(100);
    const QSize wrapped = hint.CalcHintRect(200, longText);
    EXPECT_LE(wrapped.width(), 200 + 8);
    EXPECT_GT(wrapped.height(), 4 * text.height());

    bool showHints = true;
    THintController controller([&showHints] { return showHints; });
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* box = new QCheckBox(QStringLiteral("box"), &window);
    box->setToolTip(QStringLiteral("A hint"));
    layout->addWidget(box);
    window.show();

    ASSERT_TRUE(controller.ShowHintFor(box, QPoint(10, 10)));
    ASSERT_NE(controller.CurrentHint(), nullptr);
    EXPECT_EQ(controller.CurrentHint()->HintText(), QStringLiteral("A hint"));
    controller.HideHint();
    EXPECT_EQ(controller.CurrentHint(), nullptr);

    showHints = false;
    EXPECT_FALSE(controller.ShowHintFor(box, QPoint(10, 10)));
    showHints = true;
    SetShowHintRecursive(&window, false);
    EXPECT_FALSE(controller.ShowHintFor(box, QPoint(10, 10)));
    SetShowHintRecursive(&window, true);
    EXPECT_TRUE(controller.ShowHintFor(box, QPoint(10, 10)));
    // Qt's own tooltip is replaced.
    QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
    EXPECT_TRUE(controller.eventFilter(box, &help));
}

TEST(Application, AnExceptionFromAnEventHandlerIsShownAndTheProgramGoesOn) {
    ASSERT_NE(qobject_cast<TApplication*>(QCoreApplication::instance()), nullptr);
    std::vector<SeenDialog> seen;
    for (int i = 0; i < 3; ++i)
        AnswerMessageBox(QMessageBox::Ok, &seen);

    // A timer whose handler fails on its first tick keeps ticking.
    QTimer timer;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&timer, &ticks] {
        if (++ticks == 1)
            throw std::runtime_error("Handler failed");
        timer.stop();
    });
    timer.start(0);
    EXPECT_TRUE(ProcessEventsUntil([&ticks] { return ticks == 2; }));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].title, ApplicationTitle());
    EXPECT_EQ(seen[0].group, QStringLiteral("Handler failed"));
    EXPECT_EQ(seen[0].icon, QMessageBox::Critical);

    // Something that is no standard exception, from a timer, and one on another thread's event
    // loop, which is shown on the user-interface thread.
    QTimer::singleShot(0, [] { throw 42; });
    QThread worker;
    worker.start();
    auto* target = new QObject;
    target->moveToThread(&worker);
    QObject::connect(&worker, &QThread::finished, target, &QObject::deleteLater);
    QMetaObject::invokeMethod(
        target, [] { throw std::runtime_error("Worker failed"); }, Qt::QueuedConnection);
    EXPECT_TRUE(ProcessEventsUntil([&seen] { return seen.size() == 3; }));
    worker.quit();
    worker.wait();
    ASSERT_EQ(seen.size(), 3u);
    const QStringList texts{seen[1].group, seen[2].group};
    EXPECT_TRUE(texts.contains(QStringLiteral("Unknown error"))) << texts.join(u'|').toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Worker failed"))) << texts.join(u'|').toStdString();

    // The program goes on: events are delivered as before.
    bool later = false;
    QTimer::singleShot(0, [&later] { later = true; });
    EXPECT_TRUE(ProcessEventsUntil([&later] { return later; }));

    // The text for an exception without one is a numbered message, translated like the others.
    TempDir dir;
    WriteFileBytes(dir.file("interface.txt"), "[CUSTOM]\r\nRES.2031=Unbekannter Fehler\r\n");
    TInterfaceTranslator translator;
    translator.SetFileName(dir.file("interface.txt"));
    translator.SetActive(true);
    SetInterfaceTranslator(&translator);
    AnswerMessageBox(QMessageBox::Ok, &seen);
    QTimer::singleShot(0, [] { throw 42; });
    EXPECT_TRUE(ProcessEventsUntil([&seen] { return seen.size() == 4; }));
    SetInterfaceTranslator(nullptr);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[3].group, QStringLiteral("Unbekannter Fehler"));
}
