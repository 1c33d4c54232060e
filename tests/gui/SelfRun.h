#pragma once

#include <QProcessEnvironment>

// Tests that need the desktop's pieces (an X server, a session bus) run themselves again in a
// process of their own where those pieces are private to the run.

// Runs the test named `testName` (Suite.Name) of this program again with `env`; the calling test
// fails when that run does not pass.
void RunTestAgain(const char* testName, const QProcessEnvironment& env);

// Runs it again on a private X server with the X11 platform; skips when Xvfb is not installed.
void RunTestUnderXvfb(const char* testName);
