#pragma once
// The application: runs the main window until Exit, closing it, a session end or a
// terminating signal, then destroys it (which saves the profiles and stops every worker).

#include <QApplication>

class CMainApp : public QApplication {
    Q_OBJECT
public:
    CMainApp(int& argc, char** argv);
    int run();
};
