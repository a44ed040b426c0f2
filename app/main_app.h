#pragma once
// The application: one copy per data directory (the working directory); runs the main window
// in the application's event loop until Exit, closing it, a session end or a terminating
// signal, then shuts it down (stops every worker, then saves the profiles).
// run() returns 1 when that last save failed or another copy already runs, 0 otherwise.

#include <QApplication>

class CMainApp : public QApplication {
    Q_OBJECT
public:
    CMainApp(int& argc, char** argv);
    int run();

private:
    int refuseSecondCopy(const QString& dataDirectory);
};
