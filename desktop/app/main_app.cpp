#include "desktop/app/main_app.h"

#include "desktop/platform/instance_beacon.h"
#include "desktop/app/main_dlg.h"
#include "base/program_log.h"
#include "desktop/platform/platform_choice.h"
#include "desktop/platform/signal_waker.h"
#include "profile/instance_lock.h"

#include <QDir>
#include <QMessageBox>
#include <QSessionManager>

namespace {

// Runs before the QApplication base is constructed: the platform is chosen from the
// environment at that moment.
int& choosePlatformFirst(int& argc)
{
    applyPlatformChoice();
    return argc;
}

// Platforms without a screen a user could see a message box on.
bool hasNoScreen()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

} // namespace

CMainApp::CMainApp(int& argc, char** argv, CountingSource source, std::optional<int> keepHours)
    : QApplication(choosePlatformFirst(argc), argv), counting(std::move(source)), keepHoursDays(keepHours)
{
    setApplicationName(QStringLiteral("Velmora"));
    setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    setDesktopFileName(QStringLiteral("velmora"));
    // The window hides to the tray and dialogs open from there: closing the last window must
    // not end the run. The run ends by Exit, closing the main window, a signal or the session.
    setQuitOnLastWindowClosed(false);
}

int CMainApp::run()
{
    const QString dataDirectory = QDir::currentPath();
    InstanceLock lock;
    switch (lock.acquire(dataDirectory.toStdString())) {
    case InstanceLock::State::HeldByOther:
        return refuseSecondCopy(dataDirectory);
    case InstanceLock::State::Failed:
        logLine(lock.lastError() + "; a second copy on this directory would not be refused");
        break;
    case InstanceLock::State::Acquired:
        break;
    }

    SignalWaker waker;
    MainDlgOptions options;
    options.usageDatabase = kUsageDatabaseName; // in the data directory, the working one
    options.keepHoursGiven = keepHoursDays;
    CMainDlg window(options, std::move(counting));
    InstanceBeacon beacon;
    if (lock.isHeld())
        beacon.listen(dataDirectory);
    connect(&beacon, &InstanceBeacon::called, &window, &CMainDlg::bringForward);
    connect(&waker, &SignalWaker::signalled, &window, [] { QCoreApplication::exit(0); });
    connect(this, &QGuiApplication::commitDataRequest, &window,
            [&window](QSessionManager&) { window.saveForSession(); });
    // Closing the window ends the program; hiding it to the tray does not (it is not modal:
    // a dialog's modal run would end on the hide).
    connect(&window, &QDialog::finished, &window, [] { QCoreApplication::exit(0); });
    window.show();
    exec();
    window.shutdown();
    return window.exitSaveFailed() ? 1 : 0;
}

// A copy already counts into this directory: bring its window forward, tell the user, end.
int CMainApp::refuseSecondCopy(const QString& dataDirectory)
{
    const bool reached = InstanceBeacon::callRunning(dataDirectory);
    const QString text = QStringLiteral("Velmora is already running on %1.").arg(QDir::toNativeSeparators(dataDirectory));
    logLine(text.toStdString());
    if (!hasNoScreen()) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Velmora"), text, QMessageBox::Ok);
        box.setInformativeText(reached ? QStringLiteral("Its window has been brought forward.")
                                       : QStringLiteral("Its window could not be brought forward; open it from its tray icon."));
        box.exec();
    }
    return 1;
}
