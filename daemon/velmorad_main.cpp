// velmorad: Velmora's service without Qt. It counts as `velmora --headless` does, with the
// same log lines and metrics, or prints the report; it maps no Qt and no X library.

#include "daemon/startup_pages.h"
#include "startup/start_program.h"

int main(int argc, char** argv)
{
    // Loading the profiles was the last of the start: what only it used is given back.
    return startProgram({Program::Daemon, {}, [] { releaseStartupPages(); }}, argc, argv);
}
