#include "app/command_line.h"
#include "app/main_app.h"
#include "base/program_log.h"
#include "capture/capture_socket.h"
#include "capture/privilege.h"
#include "service/headless_service.h"

#include <iostream>
#include <string>
#include <utility>

int main(int argc, char** argv)
{
    setProgramName("velmora");
    // Reads the arguments only: no file, no library code loaded.
    const CommandLine command = parseCommandLine(argc, argv, DayClock::system().today());
    // The one use of CAP_NET_RAW, before anything else runs: Qt loads plugins from paths the
    // user names, and none of that code may find a capability left to use. Only a run that
    // counts traffic opens the packet socket.
    const bool counts = command.mode != RunMode::Finished && command.mode != RunMode::Report;
    CaptureSocket captureSocket = counts ? CaptureSocket::open() : CaptureSocket();
    std::string failure;
    if (!dropAllCapabilities(&failure)) {
        logLine("could not give up privileges (" + failure + "); not starting");
        return 1;
    }
    if (command.mode == RunMode::Finished)
        return finishCommandLine(command);
    if (command.mode == RunMode::Report)
        return runReport(command.report, std::cout, std::cerr);
    if (command.mode == RunMode::Headless)
        return runHeadless({command.dataDirectory, command.metricsFile, {}}, std::move(captureSocket));
    CMainApp app(argc, argv, std::move(captureSocket));
    return app.run();
}
