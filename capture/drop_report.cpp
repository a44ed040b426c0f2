#include "capture/drop_report.h"

#include <atomic>

namespace {
std::atomic<std::uint64_t> processDrops{0};
} // namespace

std::string DropReport::add(std::uint64_t dropped, Clock::time_point now)
{
    totalDrops += dropped;
    untold += dropped;
    if (untold == 0 || (toldOnce && now - lastTold < kQuietPeriod))
        return {};
    std::string line = "the kernel dropped " + std::to_string(untold) + " packets (" + std::to_string(totalDrops) +
                       " since start): the capture could not read them in time; the counts miss them";
    untold = 0;
    toldOnce = true;
    lastTold = now;
    return line;
}

std::string DropReport::closingLine()
{
    if (totalDrops == 0)
        return {};
    untold = 0;
    return "the capture ends; the kernel dropped " + std::to_string(totalDrops) +
           " packets in all since start: the counts miss them";
}

std::uint64_t processKernelDrops()
{
    return processDrops.load(std::memory_order_relaxed);
}

void addProcessKernelDrops(std::uint64_t dropped)
{
    processDrops.fetch_add(dropped, std::memory_order_relaxed);
}
