#include "app/ui/MainForm.h"
#include "balancelist/ui/BalanceListWindow.h"
#include "base/Encoders.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "gui/SelfRun.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"
#include "widgets/HotKeyEdit.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

// Global hotkeys exist only on a display. On offscreen the test starts a private X server and runs
// itself again there, pressing keys as another client through the server's test extension.
namespace {

constexpr const char* kTestName = "GlobalHotKeys.ToggleTheWindowsAndAShortcutOfNoneGrabsNothing";
constexpr xcb_keysym_t kControlL = 0xffe3;
constexpr xcb_keysym_t kAltL = 0xffe9;
constexpr std::uint16_t kCtrlAlt = 0x4000 | 0x8000;

// Another client of the same display: presses keys and tries grabs of its own.
class OtherClient {
public:
    OtherClient() : m_connection(xcb_connect(nullptr, nullptr)), m_symbols(xcb_key_symbols_alloc(m_connection)) {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~OtherClient() {
        xcb_key_symbols_free(m_symbols);
        xcb_disconnect(m_connection);
    }
    xcb_keycode_t keycode(xcb_keysym_t sym) {
        std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(xcb_key_symbols_get_keycode(m_symbols, sym),
                                                                   &std::free);
        return codes ? codes.get()[0] : 0;
    }
    // Ctrl+Alt+<letter>, pressed and released.
    void pressCtrlAlt(char letter) {
        const xcb_keycode_t keys[] = {keycode(kControlL), keycode(kAltL), keycode(static_cast<xcb_keysym_t>(letter))};
        for (const xcb_keycode_t key : keys)
            xcb_test_fake_input(m_connection, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        for (int i = 2; i >= 0; --i)
            xcb_test_fake_input(m_connection, XCB_KEY_RELEASE, keys[i], XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(m_connection);
    }
    // Whether this client may grab Ctrl+Alt+<letter>: not while another holds it. Keeps it when `keep`.
    bool grabCtrlAlt(char letter, bool keep) {
        const xcb_keycode_t key = keycode(static_cast<xcb_keysym_t>(letter));
        const auto modifiers = static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1);
        xcb_generic_error_t* error =
            xcb_request_check(m_connection, xcb_grab_key_checked(m_connection, 1, m_root, modifiers, key,
                                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::free(error);
        if (error == nullptr && !keep)
            xcb_ungrab_key(m_connection, key, m_root, modifiers);
        xcb_flush(m_connection);
        return error == nullptr;
    }
    // What a system-tray manager says to the root window when it starts.
    void announceTrayManager() {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = m_root;
        event.type = atom("MANAGER");
        event.data.data32[0] = XCB_CURRENT_TIME;
        event.data.data32[1] = atom("_NET_SYSTEM_TRAY_S0");
        xcb_send_event(m_connection, 0, m_root, XCB_EVENT_MASK_STRUCTURE_NOTIFY, reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
    }

private:
    xcb_atom_t atom(const char* name) {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(m_connection,
                                  xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
                                  nullptr),
            &std::free);
        return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }
    xcb_connection_t* m_connection;
    xcb_key_symbols_t* m_symbols;
    xcb_window_t m_root = 0;
};

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

void checkHotKeysOnTheDisplay() {
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path() + "/config"));
    TRegistry::Instance().DeleteKey(kProgramKey);
    {
        auto key = TRegistry::Instance().OpenKey(kProgramKey, true);
        key->WriteString("Value_Password", Md5Hex("pw"));
        key->WriteInteger("Value_ShowBalanceWindowShortCut", kCtrlAlt | 'B');
        key->WriteInteger("Value_ShowMainWindowShortCut", 0);
    }
    auto savedVisible = [] {
        return TRegistry::Instance().OpenKey(kProgramKey, false)->ReadBool("Value_BalanceWindowVisible");
    };
    OtherClient other;
    ASSERT_NE(other.keycode('b'), 0);
    AnswerInputBox("pw");
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    QWidget& balanceList = *form.BalanceListWindow();
    EXPECT_TRUE(form.HotKeyRegistered(TfmMain::hkBalanceWindow));
    EXPECT_FALSE(form.HotKeyRegistered(TfmMain::hkMainWindow));
    // The program holds its combination; the one without a shortcut is free for others.
    EXPECT_FALSE(other.grabCtrlAlt('b', false));
    EXPECT_TRUE(other.grabCtrlAlt('m', false));

    // Each press toggles the window and saves the choice; an unconfirmed field gives way. The
    // second press comes while the settings window has the keyboard, in a hotkey field.
    form.hkShowBalWindow->SetHotKey(kCtrlAlt | 'Q');
    for (const bool visible : {true, false}) {
        if (!visible) {
            form.ShowSettingsWindow();
            form.hkShowBalWindow->setFocus();
            EXPECT_TRUE(ProcessEventsUntil([&] { return form.hkShowBalWindow->hasFocus() && form.isActiveWindow(); }));
            form.hkShowBalWindow->SetHotKey(kCtrlAlt | 'Q');
        }
        other.pressCtrlAlt('b');
        EXPECT_TRUE(ProcessEventsUntil([&] { return balanceList.isVisible() == visible; }, 10000)) << visible;
        EXPECT_EQ(savedVisible(), visible);
        EXPECT_EQ(form.miBalanceListWindow->isChecked(), visible);
        EXPECT_EQ(form.hkShowBalWindow->HotKey(), kCtrlAlt | 'B');
    }
    // A combination another program holds registers nothing, silently; after OK the window's own
    // takes the place of the Balance List one.
    ASSERT_TRUE(other.grabCtrlAlt('m', true));
    form.hkShowMainWindow->SetHotKey(kCtrlAlt | 'M');
    form.hkShowBalWindow->SetHotKey(kCtrlAlt | 'S');
    form.btnOKClick();
    EXPECT_FALSE(form.HotKeyRegistered(TfmMain::hkMainWindow));
    EXPECT_TRUE(form.HotKeyRegistered(TfmMain::hkBalanceWindow));
    EXPECT_TRUE(other.grabCtrlAlt('b', false));
    other.pressCtrlAlt('s');
    EXPECT_TRUE(ProcessEventsUntil([&] { return balanceList.isVisible(); }, 10000));

    // A tray manager that starts gets the icon again; the program runs without one before.
    const std::string logPath = dir.path() + "/data/TallyData/log.txt";
    EXPECT_EQ(count(ReadFileBytes(logPath), ": Tray icon added."), 1u);
    other.announceTrayManager();
    EXPECT_TRUE(ProcessEventsUntil([&] { return count(ReadFileBytes(logPath), ": Tray icon added.") == 2; }, 10000));
    EXPECT_EQ(count(ReadFileBytes(logPath), ": Adding icon to tray..."), 2u);
}

} // namespace

TEST(GlobalHotKeys, ToggleTheWindowsAndAShortcutOfNoneGrabsNothing) {
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        checkHotKeysOnTheDisplay();
        return;
    }
    RunTestUnderXvfb(kTestName);
}
