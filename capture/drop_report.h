#pragma once
// Packets the kernel dropped because the capture's ring was full (PACKET_STATISTICS): the
// running total of the process, shown in the about box, and lines on stderr that together
// tell every drop: the first at once, later ones at most once a minute, and the total at close.

#include <chrono>
#include <cstdint>
#include <string>

class DropReport {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kQuietPeriod{60};

    // Adds `dropped` packets (0: none new) seen at `now`. Returns the line to log
    // (empty when none is due): the first drop is told at once, later ones once kQuietPeriod
    // has passed since the last line, whether or not more drops came since; each line gives
    // the drops since the last one and the total.
    std::string add(std::uint64_t dropped, Clock::time_point now);
    // The line for the capture's end: the total, when there was any drop; empty otherwise.
    std::string closingLine();
    // Drops not told yet: add() must be called again once the quiet period is over.
    bool hasUntold() const { return untold != 0; }
    std::uint64_t total() const { return totalDrops; }

private:
    std::uint64_t totalDrops = 0;
    std::uint64_t untold = 0;
    bool toldOnce = false;
    Clock::time_point lastTold{};
};

// Every drop of every capture of this process so far (the about box shows it).
std::uint64_t processKernelDrops();
// Counts `dropped` packets into processKernelDrops() (the capture calls it).
void addProcessKernelDrops(std::uint64_t dropped);
