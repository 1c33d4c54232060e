#pragma once

// The program entry: single-instance hand-over, then the main form and the event loop.
// Returns the process exit code, which is 0 in every case.
int RunTallyglass(int argc, char** argv);
