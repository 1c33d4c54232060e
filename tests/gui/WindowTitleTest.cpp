#include "app/ui/MainForm.h"
#include "base/Program.h"
#include "gui/GuiTestSupport.h"
#include "gui/SelfRun.h"
#include "platform/Registry.h"
#include "support/TestSupport.h"
#include "translate/Messages.h"
#include "widgets/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

// The X11 platform writes a window's title to the display as Qt formats it, which on offscreen
// never happens. On offscreen the test starts a private X server and runs itself again there.
namespace {

constexpr const char* kTestName = "WindowTitles.OnTheDisplayAreExactlyTheCaptions";

xcb_atom_t InternAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The title the window manager would show: the window's _NET_WM_NAME on the display.
QString titleOnDisplay(QWidget& window) {
    window.show();
    QApplication::processEvents();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr)
        return QStringLiteral("<no X11 connection>");
    xcb_connection_t* connection = x11->connection();
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window.winId()),
                         InternAtom(connection, "_NET_WM_NAME"), InternAtom(connection, "UTF8_STRING"), 0, 1024);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply)
        return QStringLiteral("<no title>");
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

// Answers the next dialog with `result` after noting its title on the display.
void noteTitle(std::vector<QString>& titles, int result) {
    PushDialogAnswer([&titles, result](QDialog& dialog) {
        titles.push_back(titleOnDisplay(dialog));
        dialog.hide();
        return result;
    });
}

void checkTitlesOnTheDisplay() {
    // A first start of a fresh user.
    TempDir dir;
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path() + "/data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(dir.path() + "/config"));
    TRegistry::Instance().DeleteKey(kProgramKey);
    std::vector<QString> titles;
    // A first start: the password to choose, then the first-run message.
    PushDialogAnswer([&titles](QDialog& dialog) {
        titles.push_back(titleOnDisplay(dialog));
        dialog.findChild<QLineEdit*>(QStringLiteral("edInput"))->setText(QStringLiteral("pw"));
        dialog.hide();
        return static_cast<int>(QDialog::Accepted);
    });
    noteTitle(titles, QMessageBox::Ok);
    TfmMain form;
    ASSERT_TRUE(form.FormCreate());
    EXPECT_EQ(titleOnDisplay(form).toStdString(), ProgramCaption().toStdString());
    noteTitle(titles, QDialog::Accepted);
    form.AboutProgram1Click();
    // A message box that names no caption of its own carries the application's title.
    noteTitle(titles, QMessageBox::Ok);
    ShowMessageBox(&form, LoadStr(1004), std::string(), QMessageBox::Warning);
    ASSERT_EQ(titles.size(), 4u);
    EXPECT_EQ(titles[0].toStdString(), ProgramCaption().toStdString());
    EXPECT_EQ(titles[1].toStdString(), "Message");
    EXPECT_EQ(titles[2].toStdString(), "About");
    EXPECT_EQ(titles[3].toStdString(), ProgramCaption().toStdString());
}

} // namespace

TEST(WindowTitles, OnTheDisplayAreExactlyTheCaptions) {
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        checkTitlesOnTheDisplay();
        return;
    }
    RunTestUnderXvfb(kTestName);
}
