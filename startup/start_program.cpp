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
    // 1. The command line: the arguments only; no file read, no library code loaded.
    const CommandLine command = parseCommandLine(start.program, argc, argv, DayClock::system().today());

    // 2. What needs a capability, and nothing else, only for a run that counts: the kernel
    // source's helper (forked with CAP_BPF, CAP_NET_ADMIN and CAP_PERFMON, which it keeps) or else the
    // packet socket (CAP_NET_RAW). Qt loads plugins from paths the user names, the profile
    // parser reads files, and none of that code may find a capability left to use.
    const bool counts = command.mode == RunMode::Window || command.mode == RunMode::Headless;
    CountingSource source = counts ? CountingSource::open(command.counting) : CountingSource();

    // 3. Every capability given up; a run that cannot is not started.
    std::string failure;
    if (!dropAllCapabilities(&failure)) {
        logLine("could not give up privileges (" + failure + "); not starting");
        return 1;
    }

    // 4. What the command line asks for.
    switch (command.mode) {
    case RunMode::Finished:
        std::fputs(command.message.c_str(), command.exitCode == 0 ? stdout : stderr);
        return command.exitCode;
    case RunMode::Report:
        return runReport(command.report, std::cout, std::cerr);
    case RunMode::Headless:
        return runHeadless({command.dataDirectory, command.metricsFile, start.started, command.keepHoursDays},
                           std::move(source));
    case RunMode::Window:
        break;
    }
    return start.runWindow(argc, argv, std::move(source), command.keepHoursDays);
}
