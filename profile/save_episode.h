#pragma once
// What the user is told about saves that fail. A failing disk fails every periodic save until
// it recovers; the user hears of it once per episode (its first failure), and once more when a
// save succeeds again. The totals stay in memory meanwhile, so the next good save loses nothing.

#include "profile/profile_file.h"

#include <chrono>
#include <functional>
#include <string>

class SaveEpisode {
public:
    enum class Change { None, Began, Ended };

    // Records the outcome of one save; Began at the first failure of an episode, Ended at the
    // first success after one.
    Change record(bool saved, const SaveFailures& failures);

    bool failing() const { return inEpisode; }
    // One line about the episode's first failure ("could not save profiles/Home.xml: No space
    // left on device"); empty when saving works.
    const std::string& problem() const { return problemText; }
    // The line for standard error on a change (for logLine); empty for None.
    std::string standardErrorLine(Change change) const;

private:
    bool inEpisode = false;
    std::string problemText;
};

// One line naming the first failed file and its reason, and how many more failed.
std::string describeFailures(const SaveFailures& failures);

// Calls `save` until it returns true or `patience` has passed, sleeping `pause` between tries;
// true when a try succeeded. For the save at exit, where a disk that frees up within a few
// seconds should still get the totals.
bool retrySave(const std::function<bool()>& save, std::chrono::milliseconds patience,
               std::chrono::milliseconds pause);
