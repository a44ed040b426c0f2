#include "startup/start_program.h"

#include "base/program_log.h"
#include "capture/privilege.h"
#include "service/headless_service.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

int startProgram(const ProgramStart& start, int argc, char** argv)
{
    setProgramName(start.program == Program::Window ? "velmora" : "velmorad");
    // Reads the arguments only: no file, no library code loaded.
    const CommandLine command = parseCommandLine(start.program, argc, argv, DayClock::system().today());

    // The one use of CAP_NET_RAW, before anything else runs: Qt loads plugins from paths the
    // user names, the profile parser reads files, and none of that code may find a capability
    // left to use. Only a run that counts opens the packet socket.
    const bool counts = command.mode == RunMode::Window || command.mode == RunMode::Headless;
    CaptureSocket captureSocket = counts ? CaptureSocket::open() : CaptureSocket();

    std::string failure;
    if (!dropAllCapabilities(&failure)) {
        logLine("could not give up privileges (" + failure + "); not starting");
        return 1;
    }

    switch (command.mode) {
    case RunMode::Finished:
        std::fputs(command.message.c_str(), command.exitCode == 0 ? stdout : stderr);
        return command.exitCode;
    case RunMode::Report:
        return runReport(command.report, std::cout, std::cerr);
    case RunMode::Headless:
        return runHeadless({command.dataDirectory, command.metricsFile, start.started}, std::move(captureSocket));
    case RunMode::Window:
        break;
    }
    return start.runWindow(argc, argv, std::move(captureSocket));
}
