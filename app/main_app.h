#pragma once
// The application: runs the main window until Exit, closing it, a session end or a
// terminating signal, then shuts it down (stops every worker, then saves the profiles).
// run() returns 1 when that last save failed, 0 otherwise.

#include <QApplication>

class CMainApp : public QApplication {
    Q_OBJECT
public:
    CMainApp(int& argc, char** argv);
    int run();
};
