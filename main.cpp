// velmora: the window, or without one (--headless, --report) what velmorad does.

#include "desktop/app/window_start.h"
#include "startup/start_program.h"

int main(int argc, char** argv)
{
    return startProgram({Program::Window, runWindow, {}}, argc, argv);
}
