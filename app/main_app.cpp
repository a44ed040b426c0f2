#include "app/main_app.h"

#include "app/main_dlg.h"
#include "app/signal_waker.h"

#include <QSessionManager>

CMainApp::CMainApp(int& argc, char** argv, CaptureSocket socket)
    : QApplication(argc, argv), captureSocket(std::move(socket))
{
    setApplicationName(QStringLiteral("Velmora"));
    setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    setDesktopFileName(QStringLiteral("velmora"));
    // The window hides to the tray and dialogs open from there: the run ends only when the
    // main window's modal run does.
    setQuitOnLastWindowClosed(false);
}

int CMainApp::run()
{
    SignalWaker waker;
    CMainDlg window({}, std::move(captureSocket));
    connect(&waker, &SignalWaker::signalled, &window, [] { QCoreApplication::exit(0); });
    connect(this, &QGuiApplication::commitDataRequest, &window,
            [&window](QSessionManager&) { window.endSession(); });
    window.exec();
    window.shutdown();
    return window.exitSaveFailed() ? 1 : 0;
}
