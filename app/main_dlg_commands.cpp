// The main window's small commands: help, about, history and options.
#include "app/about_dlg.h"
#include "app/main_dlg.h"
#include "app/manual_window.h"
#include "ui/history/history_dlg.h"
#include "ui/options/options_dlg.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

void CMainDlg::openHelp()
{
    openManual(findHelpDocument(QDir::currentPath(), QStringLiteral(VELMORA_DATA_DIR)));
}

// The desktop opens the manual's file when it can; otherwise (no file beside the program, no
// browser or launcher) the copy built into the program is shown in a window of its own.
void CMainDlg::openManual(const QString& file)
{
    if (!file.isEmpty() && QDesktopServices::openUrl(QUrl::fromLocalFile(file)))
        return;
    if (manualWindow == nullptr)
        manualWindow = new ManualWindow(this);
    manualWindow->show();
    manualWindow->raise();
    manualWindow->activateWindow();
}

void CMainDlg::showAbout()
{
    AboutDlg about(this);
    about.exec();
}

void CMainDlg::openHistory()
{
    CHistoryDlg historyDialog(engine.profiles(), this);
    historyDialog.exec();
}

void CMainDlg::openOptions()
{
    const std::uint32_t oldDivisor = settings.unitDivisor.load();
    const std::uint32_t oldLength = settings.historyLength.load();
    {
        OptionsDlg optionsDialog(settings, engine.profiles(), this);
        optionsDialog.exec();
    }
    applyDisplaySettings(oldDivisor, oldLength);
}
