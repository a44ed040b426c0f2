// velmorad: Velmora's service without Qt. It counts as `velmora --headless` does, with the
// same log lines and metrics, or prints the report; it maps no Qt and no X library.

#include "base/program_log.h"
#include "capture/capture_socket.h"
#include "capture/privilege.h"
#include "daemon/daemon_command_line.h"
#include "daemon/startup_pages.h"
#include "service/headless_service.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <utility>

int main(int argc, char** argv)
{
    setProgramName("velmorad");
    const DaemonCommandLine command = parseDaemonCommandLine(argc, argv, DayClock::system().today());
    // The one use of CAP_NET_RAW comes first; every capability is gone before the engine or
    // the profile parser runs.
    CaptureSocket captureSocket = command.mode == DaemonMode::Count ? CaptureSocket::open() : CaptureSocket();
    std::string failure;
    if (!dropAllCapabilities(&failure)) {
        logLine("could not give up privileges (" + failure + "); not starting");
        return 1;
    }
    switch (command.mode) {
    case DaemonMode::Finished:
        std::fputs(command.message.c_str(), command.exitCode == 0 ? stdout : stderr);
        return command.exitCode;
    case DaemonMode::Report:
        return runReport(command.report, std::cout, std::cerr);
    case DaemonMode::Count:
        break;
    }
    HeadlessOptions options{command.dataDirectory, command.metricsFile, {}};
    // Loading the profiles was the last of the start: what only it used is given back.
    options.started = [] { releaseStartupPages(); };
    return runHeadless(options, std::move(captureSocket));
}
