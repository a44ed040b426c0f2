#pragma once
// The start both programs share, in this order: read the command line; open the packet source
// (only for a run that counts: the kernel source's helper, which keeps CAP_BPF,
// CAP_NET_ADMIN and CAP_PERFMON, or the packet socket, CAP_NET_RAW's one use); give up every capability;
// then print, report, count without a window, or open the window. Nothing that reads a file
// or loads a plugin runs before the capabilities are gone.

#include "capture/counting_source.h"
#include "startup/command_line.h"

#include <functional>

struct ProgramStart {
    Program program = Program::Daemon;
    // The window's binary: runs the window until it ends and returns the exit status. It
    // takes over the packet source; argc and argv still hold Qt's options for QApplication.
    std::function<int(int& argc, char** argv, CountingSource counting, std::optional<int> keepHoursDays)> runWindow;
    // Called once a headless run counts (profiles loaded, capture open).
    std::function<void()> started;
};

// Sets the program's name for its log lines, runs the start and returns the exit status.
int startProgram(const ProgramStart& start, int argc, char** argv);
