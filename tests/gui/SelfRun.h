#pragma once

#include <QProcessEnvironment>

// Tests that need the desktop's pieces (an X server, a session bus) run themselves again in a
// process of their own where those pieces are private to the run.

// The variable that names the private bus to the run (and to the test main, which makes it the
// session bus).
inline constexpr const char* kTestBusVariable = "TALLYGLASS_TEST_SESSION_BUS";

// Runs the test named `testName` (Suite.Name) of this program again with `env`; the calling test
// fails when that run does not pass.
void RunTestAgain(const char* testName, const QProcessEnvironment& env);

// Runs it again on a private X server with the X11 platform; skips when Xvfb is not installed.
void RunTestUnderXvfb(const char* testName, QProcessEnvironment env = QProcessEnvironment::systemEnvironment());

// Runs it again on a session bus of its own that anyone of this user may use and own names on, and
// that starts no services (also on a private X server, when `underXvfb`); skips when dbus-daemon
// is not installed.
void RunTestOnAPrivateBus(const char* testName, bool underXvfb = false);
