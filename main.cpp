#include "app/command_line.h"
#include "app/main_app.h"

#include <iostream>

int main(int argc, char** argv)
{
    const CommandLine command = parseCommandLine(argc, argv, DayClock::system().today());
    if (command.mode == RunMode::Finished)
        return finishCommandLine(command);
    if (command.mode == RunMode::Report)
        return runReport(command.report, std::cout, std::cerr);
    if (command.mode == RunMode::Headless) {
        std::cerr << "velmora: --headless is not available in this build\n";
        return 1;
    }
    CMainApp app(argc, argv);
    return app.run();
}
