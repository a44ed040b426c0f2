#pragma once
// The application: one copy per data directory (the working directory); runs the main window
// in the application's event loop until Exit, closing it, a session end or a terminating
// signal, then shuts it down (stops every worker, then saves the profiles).
// run() returns 1 when that last save failed or another copy already runs, 0 otherwise.

#include "capture/capture_socket.h"

#include <QApplication>

class CMainApp : public QApplication {
    Q_OBJECT
public:
    // `captureSocket`: the packet socket main opened before giving up its privileges; the
    // window's capture takes it over.
    CMainApp(int& argc, char** argv, CaptureSocket captureSocket = {});
    int run();

private:
    int refuseSecondCopy(const QString& dataDirectory);
    CaptureSocket captureSocket; // until run() hands it to the window
};
