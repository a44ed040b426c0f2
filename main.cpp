#include "app/main_app.h"

int main(int argc, char** argv)
{
    CMainApp app(argc, argv);
    return app.run();
}
