#pragma once
// The application: one copy per data directory (the working directory); runs the main window
// in the application's event loop until Exit, closing it, a session end or a terminating
// signal, then destroys it (which saves the profiles and stops every worker).

#include <QApplication>

class CMainApp : public QApplication {
    Q_OBJECT
public:
    CMainApp(int& argc, char** argv);
    int run();

private:
    int refuseSecondCopy(const QString& dataDirectory);
};
