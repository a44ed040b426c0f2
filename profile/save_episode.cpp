#include "profile/save_episode.h"

#include <thread>

SaveEpisode::Change SaveEpisode::record(bool saved, const SaveFailures& failures)
{
    if (saved) {
        if (!inEpisode)
            return Change::None;
        inEpisode = false;
        problemText.clear();
        return Change::Ended;
    }
    if (inEpisode)
        return Change::None;
    inEpisode = true;
    problemText = describeFailures(failures);
    return Change::Began;
}

std::string SaveEpisode::standardErrorLine(Change change) const
{
    switch (change) {
    case Change::Began:
        return problemText + "; the totals are kept in memory and the save is retried";
    case Change::Ended:
        return "profiles saved again; nothing counted was lost";
    case Change::None:
        break;
    }
    return {};
}

std::string describeFailures(const SaveFailures& failures)
{
    if (failures.empty())
        return "could not save the profiles";
    std::string text =
        "could not save " + failures.front().file.string() + ": " + failures.front().reason;
    if (failures.size() > 1)
        text += " (and " + std::to_string(failures.size() - 1) + " more)";
    return text;
}

bool retrySave(const std::function<bool()>& save, std::chrono::milliseconds patience,
               std::chrono::milliseconds pause)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        if (save())
            return true;
        if (std::chrono::steady_clock::now() + pause > deadline)
            return false;
        std::this_thread::sleep_for(pause);
    }
}
