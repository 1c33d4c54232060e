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
#include <QTabWidget>

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
    void pressCtrlAlt(char letter) { pressCtrlAltKey(keycode(static_cast<xcb_keysym_t>(letter))); }
    void pressCtrlAltKey(xcb_keycode_t letterKey) {
        const xcb_keycode_t keys[] = {keycode(kControlL), keycode(kAltL), letterKey};
        for (const xcb_keycode_t key : keys)
            xcb_test_fake_input(m_connection, XCB_KEY_PRESS, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        for (int i = 2; i >= 0; --i)
            xcb_test_fake_input(m_connection, XCB_KEY_RELEASE, keys[i], XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(m_connection);
    }
    // Whether this client may grab Ctrl+Alt+<letter>: not while another holds it. Keeps it when `keep`.
    bool grabCtrlAlt(char letter, bool keep) {
        return grabCtrlAltKey(keycode(static_cast<xcb_keysym_t>(letter)), keep);
    }
    bool grabCtrlAltKey(xcb_keycode_t key, bool keep) {
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
    // Another layout: the two letters change keys, as between a QWERTY and an AZERTY keyboard.
    void swapLetters(char a, char b) {
        const xcb_keycode_t keyA = keycode(static_cast<xcb_keysym_t>(a));
        const xcb_keycode_t keyB = keycode(static_cast<xcb_keysym_t>(b));
        const auto upper = [](char c) { return static_cast<xcb_keysym_t>(c - 'a' + 'A'); };
        const xcb_keysym_t onA[] = {static_cast<xcb_keysym_t>(b), upper(b)};
        const xcb_keysym_t onB[] = {static_cast<xcb_keysym_t>(a), upper(a)};
        xcb_change_keyboard_mapping(m_connection, 1, keyA, 2, onA);
        xcb_change_keyboard_mapping(m_connection, 1, keyB, 2, onB);
        xcb_flush(m_connection);
        // This client's own table follows too.
        xcb_key_symbols_free(m_symbols);
        m_symbols = xcb_key_symbols_alloc(m_connection);
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
        // Both on one combination (a store written by hand): the second does nothing, and says so.
        key->WriteInteger("Value_ShowMainWindowShortCut", kCtrlAlt | 'B');
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
    const std::string logPath = dir.path() + "/data/TallyData/log.txt";
    EXPECT_EQ(count(ReadFileBytes(logPath), ": Hotkey Ctrl+Alt+B of \"Show/Hide Main window\" not registered: "
                                            "\"Show/Hide Balance List window\" uses it already."),
              1u)
        << ReadFileBytes(logPath);
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
    // OK with one combination in both fields is refused with a message naming both; nothing is
    // stored or registered anew, and the window stays on the General tab.
    form.ShowSettingsWindow();
    form.pcMain->setCurrentWidget(form.tsBalanceAlerts);
    form.hkShowMainWindow->SetHotKey(kCtrlAlt | 'S');
    form.hkShowBalWindow->SetHotKey(kCtrlAlt | 'S');
    std::vector<SeenDialog> seen;
    AnswerMessageBox(QMessageBox::Ok, &seen);
    form.btnOKClick();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].group.toStdString(), "The hotkey Ctrl+Alt+S cannot serve both \"Show/Hide Balance List window\" "
                                           "and \"Show/Hide Main window\". Please choose another key combination "
                                           "for one of them.");
    EXPECT_EQ(seen[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(form.SettingsWindowShown());
    EXPECT_EQ(form.pcMain->currentWidget(), form.tsGeneral);
    EXPECT_EQ(form.Settings.ShowBalanceWindowShortCut, kCtrlAlt | 'B');
    EXPECT_FALSE(other.grabCtrlAlt('b', false));

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

    // Another keyboard layout puts S on the key of Q: the hotkey follows its letter to the new key,
    // and the old key is free for others.
    const xcb_keycode_t keyOfS = other.keycode('s');
    const xcb_keycode_t keyOfQ = other.keycode('q');
    other.swapLetters('s', 'q');
    ASSERT_EQ(other.keycode('s'), keyOfQ);
    EXPECT_TRUE(ProcessEventsUntil([&] { return !other.grabCtrlAltKey(keyOfQ, false); }, 10000));
    EXPECT_TRUE(other.grabCtrlAltKey(keyOfS, false));
    other.pressCtrlAltKey(keyOfQ);
    EXPECT_TRUE(ProcessEventsUntil([&] { return !balanceList.isVisible(); }, 10000));

    // A tray manager that starts gets the icon again; the program runs without one before.
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
