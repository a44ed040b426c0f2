#include "app/main_app.h"
#include "capture/capture_socket.h"
#include "capture/privilege.h"

#include <cstdio>
#include <string>
#include <utility>

int main(int argc, char** argv)
{
    // The one use of CAP_NET_RAW, before the application exists: Qt loads plugins from paths
    // the user names, and none of that code may find a capability left to use.
    CaptureSocket captureSocket = CaptureSocket::open();
    std::string failure;
    if (!dropAllCapabilities(&failure)) {
        std::fprintf(stderr, "velmora: could not give up privileges (%s); not starting\n", failure.c_str());
        return 1;
    }
    CMainApp app(argc, argv, std::move(captureSocket));
    return app.run();
}
