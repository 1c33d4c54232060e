#include "gui/SelfRun.h"

#include "support/TestBus.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

bool waitForLine(QProcess& process, QByteArray& line, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!line.contains('\n') && timer.elapsed() < timeoutMs) {
        if (process.waitForReadyRead(100))
            line += process.readAllStandardOutput();
        if (process.state() == QProcess::NotRunning)
            break;
    }
    return line.contains('\n');
}

} // namespace

void RunTestAgain(const char* testName, const QProcessEnvironment& env) {
    QProcess self;
    self.setProcessEnvironment(env);
    self.setProcessChannelMode(QProcess::MergedChannels);
    self.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + testName});
    const bool finished = self.waitForFinished(120000);
    const QString output = QString::fromLocal8Bit(self.readAll());
    ASSERT_TRUE(finished) << output.toStdString();
    EXPECT_EQ(self.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

void RunTestUnderXvfb(const char* testName, QProcessEnvironment env) {
    // The server picks a free display itself and tells its number on standard output.
    const TXServerLock serverLock; // declared first: released after the server has ended
    QProcess server;
    server.setProcessChannelMode(QProcess::SeparateChannels);
    server.setStandardErrorFile(QProcess::nullDevice());
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                  QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24")});
    if (!server.waitForStarted(10000))
        GTEST_SKIP() << "Xvfb is not installed";
    QByteArray display;
    ASSERT_TRUE(waitForLine(server, display, 20000)) << "Xvfb did not start";

    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Qt's generic desktop theme, whatever desktop the tests are started from.
    for (const char* name : {"QT_QPA_PLATFORMTHEME", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(display.trimmed()));
    // The libraries of the X11 platform copy strings of the server's replies that carry no
    // terminating zero, which strict string checks take for overflows, and keep D-Bus memory to
    // the end; this run checks what the display shows, the offscreen runs check our memory.
    if (env.contains(QStringLiteral("ASAN_OPTIONS")))
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) +
                                                       QStringLiteral(" strict_string_checks=0 detect_leaks=0"));
    RunTestAgain(testName, env);
    server.terminate();
    server.waitForFinished(10000);
}

void RunTestOnAPrivateBus(const char* testName, bool underXvfb) {
    TTestBus bus;
    const std::string error = bus.Start();
    if (error.find("not installed") != std::string::npos)
        GTEST_SKIP() << error;
    ASSERT_EQ(error, "");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kTestBusVariable), bus.Address());
    if (underXvfb)
        RunTestUnderXvfb(testName, env);
    else
        RunTestAgain(testName, env);
}
