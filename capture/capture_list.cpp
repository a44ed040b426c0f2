#include "capture/capture_list.h"

#include <algorithm>

CaptureList::~CaptureList()
{
    closeAll();
}

bool CaptureList::append(const std::string& address, std::shared_ptr<CPacketCapture> capture)
{
    std::lock_guard lock(guard);
    if (closed || capture == nullptr)
        return false;
    entries.push_back({address, std::move(capture)});
    return true;
}

bool CaptureList::contains(const std::string& address) const
{
    std::lock_guard lock(guard);
    return std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& entry) { return entry.address == address; });
}

std::shared_ptr<CPacketCapture> CaptureList::findInterface(int interfaceIndex) const
{
    std::lock_guard lock(guard);
    for (const Entry& entry : entries)
        if (entry.capture->interfaceIndex() == interfaceIndex && !entry.capture->hasFailed())
            return entry.capture;
    return nullptr;
}

std::size_t CaptureList::removeStale(const Stale& isStale)
{
    std::vector<std::shared_ptr<CPacketCapture>> unused;
    {
        std::lock_guard lock(guard);
        std::vector<std::shared_ptr<CPacketCapture>> candidates;
        std::erase_if(entries, [&](Entry& entry) {
            if (!isStale(entry.address, *entry.capture))
                return false;
            candidates.push_back(entry.capture);
            return true;
        });
        for (std::shared_ptr<CPacketCapture>& capture : candidates) {
            const bool used = std::any_of(entries.begin(), entries.end(),
                                          [&](const Entry& entry) { return entry.capture == capture; });
            const bool listed = std::find(unused.begin(), unused.end(), capture) != unused.end();
            if (!used && !listed)
                unused.push_back(std::move(capture));
        }
    }
    for (const std::shared_ptr<CPacketCapture>& capture : unused)
        capture->close();
    return unused.size();
}

void CaptureList::closeAll()
{
    std::vector<std::shared_ptr<CPacketCapture>> closing;
    {
        std::lock_guard lock(guard);
        closed = true;
        closing = distinctCaptures();
        entries.clear();
    }
    for (const std::shared_ptr<CPacketCapture>& capture : closing)
        capture->close();
}

bool CaptureList::isClosed() const
{
    std::lock_guard lock(guard);
    return closed;
}

std::size_t CaptureList::size() const
{
    std::lock_guard lock(guard);
    return distinctCaptures().size();
}

std::vector<std::string> CaptureList::addresses() const
{
    std::lock_guard lock(guard);
    std::vector<std::string> result;
    for (const Entry& entry : entries)
        result.push_back(entry.address);
    return result;
}

std::vector<std::shared_ptr<CPacketCapture>> CaptureList::captures() const
{
    std::lock_guard lock(guard);
    return distinctCaptures();
}

// Caller holds guard.
std::vector<std::shared_ptr<CPacketCapture>> CaptureList::distinctCaptures() const
{
    std::vector<std::shared_ptr<CPacketCapture>> result;
    for (const Entry& entry : entries)
        if (std::find(result.begin(), result.end(), entry.capture) == result.end())
            result.push_back(entry.capture);
    return result;
}
