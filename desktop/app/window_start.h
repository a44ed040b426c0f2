#pragma once
// The window's start after the common one (startup/start_program.h): the application object,
// whose construction connects to the display, then the window's run.

#include "capture/counting_source.h"

#include <optional>

// Runs the window until it ends and returns the exit status. Without a display it says so in
// one line, naming velmorad, and returns 1 (Qt would abort). `argc` and `argv` go to
// QApplication, which takes its own options (-platform, -style...) from them.
int runWindow(int& argc, char** argv, CountingSource counting, std::optional<int> keepHoursDays);
