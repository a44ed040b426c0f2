#pragma once
// How the window tells of saves that fail: a line on standard error once per episode (and when
// saving works again), a line in the tray tooltip while the episode lasts, and one message box
// per run, since the user may be able to free space or fix the folder.

#include "profile/save_episode.h"

#include <QString>

class QWidget;

class SaveNotices {
public:
    // After every save. `window` parents the message box; none is shown when it is null.
    void report(bool saved, const SaveFailures& failures, QWidget* window);
    // The tray tooltip's extra line while saving fails; empty otherwise.
    QString tooltipLine() const;
    const SaveEpisode& episode() const { return saves; }

private:
    SaveEpisode saves;
    bool boxShown = false;
};
