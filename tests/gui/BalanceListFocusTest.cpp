#include "alerts/AlertItem.h"
#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "gui/SelfRun.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QGuiApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

// Who gets the keyboard when a window appears is the window manager's decision, which it takes
// from what the window asks for on the display. On offscreen the test starts a private X server
// and runs itself again there, with a window manager (openbox) of its own.
namespace {

constexpr const char* kTestName = "BalanceListFocus.AChangeBringsTheListForwardAndTheKeyboardStaysWhereTheUserTypes";

template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* displayConnection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

// A window manager that follows the desktop conventions names its check window on the root.
bool windowManagerRuns(xcb_connection_t* connection) {
    const char* name = "_NET_SUPPORTING_WM_CHECK";
    XcbReply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    XcbReply<xcb_get_property_reply_t> property(
        xcb_get_property_reply(connection, xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1),
                               nullptr),
        &std::free);
    return property && xcb_get_property_value_length(property.get()) == 4;
}

// The window that has the keyboard on the display.
xcb_window_t inputFocus(xcb_connection_t* connection) {
    XcbReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr), &std::free);
    return focus ? focus->focus : static_cast<xcb_window_t>(XCB_NONE);
}

bool viewable(xcb_connection_t* connection, const QWidget& window) {
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, static_cast<xcb_window_t>(window.winId())), nullptr),
        &std::free);
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

// What a program prints, or nothing when it cannot be run.
QByteArray outputOf(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(20000))
        return {};
    return process.readAllStandardOutput().trimmed();
}

void checkFocusOnTheDisplay() {
    xcb_connection_t* connection = displayConnection();
    ASSERT_NE(connection, nullptr);
    // A display of the user's own has its window manager already.
    QProcess windowManager;
    struct Ender {
        QProcess& process;
        ~Ender() {
            process.terminate();
            process.waitForFinished(10000);
        }
    } ender{windowManager};
    if (!windowManagerRuns(connection)) {
        windowManager.setStandardErrorFile(QProcess::nullDevice());
        windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        if (!windowManager.waitForStarted(10000))
            GTEST_SKIP() << "openbox is not installed";
        ASSERT_TRUE(ProcessEventsUntil([&] { return windowManagerRuns(connection); }, 20000));
    }

    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path() + "/config"));
    TRegistry::Instance().DeleteKey(kProgramKey);
    TRegistry::Instance().OpenKey(kProgramKey, true)->WriteString("Value_Password", Md5Hex("secret"));
    AnswerInputBox("secret");
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    ASSERT_TRUE(form.Settings.ActivateBLWindow);
    TfmBalanceList& balanceList = *form.BalanceListWindow();
    ASSERT_FALSE(balanceList.isVisible());

    // The user types in another program's window, which the window manager gave the keyboard.
    QProcess editor;
    editor.start(QStringLiteral("xmessage"),
                 {QStringLiteral("-geometry"), QStringLiteral("300x80+600+500"), QStringLiteral("-title"),
                  QStringLiteral("TallyglassTestEditor"), QStringLiteral("typing here")});
    if (!editor.waitForStarted(10000))
        GTEST_SKIP() << "xmessage is not installed";
    struct Closer {
        QProcess& process;
        ~Closer() {
            process.kill();
            process.waitForFinished(10000);
        }
    } closer{editor};
    QByteArray found;
    ASSERT_TRUE(ProcessEventsUntil([&] {
        found = outputOf(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("TallyglassTestEditor")});
        return !found.isEmpty();
    })) << "the editor's window did not appear (is xdotool installed?)";
    const QString editorWindow = QString::fromLatin1(found.split('\n').last());
    outputOf(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), editorWindow});
    ASSERT_TRUE(ProcessEventsUntil([&] { return inputFocus(connection) == editorWindow.toUInt(); }));

    // A change brings the Balance List forward; the keyboard stays with the editor.
    TAlertItem alert;
    alert.Name = "Bank";
    alert.SetBalances({10000, 12000});
    form.NotifyBalanceChanged(alert);
    ASSERT_TRUE(ProcessEventsUntil([&] { return balanceList.isVisible() && viewable(connection, balanceList); }));
    // Time for the window manager to hand the keyboard over, were it asked to.
    ProcessEventsUntil([] { return false; }, 1000);
    EXPECT_EQ(inputFocus(connection), editorWindow.toUInt());
    EXPECT_EQ(QGuiApplication::focusWindow(), nullptr);
}

} // namespace

TEST(BalanceListFocus, AChangeBringsTheListForwardAndTheKeyboardStaysWhereTheUserTypes) {
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        checkFocusOnTheDisplay();
        return;
    }
    RunTestUnderXvfb(kTestName);
}
