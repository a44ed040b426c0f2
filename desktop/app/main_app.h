#pragma once
// The application: one copy per data directory (the working directory); runs the main window
// in the application's event loop until Exit, closing it, a session end or a terminating
// signal, then shuts it down (stops every worker, then saves the profiles).
// run() returns 1 when that last save failed or another copy already runs, 0 otherwise.

#include "capture/counting_source.h"

#include <QApplication>

#include <optional>

class CMainApp : public QApplication {
    Q_OBJECT
public:
    // `counting`: the packet source main opened before giving up its privileges; the window's
    // engine takes it over.
    CMainApp(int& argc, char** argv, CountingSource counting = {}, std::optional<int> keepHoursDays = {});
    int run();

private:
    int refuseSecondCopy(const QString& dataDirectory);
    CountingSource counting; // until run() hands it to the window
    std::optional<int> keepHoursDays; // --keep-hours
};
