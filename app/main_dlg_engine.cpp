// The main window's side of the engine: the save reports and the end of the run.
#include "app/main_dlg.h"

#include <cstdio>

CMainDlg::~CMainDlg()
{
    shutdown();
}

// On the GUI thread, after every save the engine made: periodic ones arrive queued.
void CMainDlg::reportSave(const SaveOutcome& outcome)
{
    saveNotices.report(outcome.saved, outcome.failures, shutDown ? nullptr : this);
}

void CMainDlg::shutdown()
{
    if (shutDown)
        return;
    shutDown = true;
    storeSettings();
    if (!engine.stop().saved) {
        lostAtExit = true;
        std::fprintf(stderr,
                     "velmora: gave up saving at exit (%s); the traffic counted since the last "
                     "good save is lost\n",
                     saveNotices.episode().problem().c_str());
    }
    if (tray != nullptr)
        tray->hideIcon();
}

void CMainDlg::saveForSession()
{
    storeSettings();
    saveProfiles();
}
