#pragma once
// The captures of the run, shared by the address watcher (which adds and drops them) and the
// window (which closes them all at shutdown). Each local address maps to the capture of the
// interface that owns it; two addresses on one interface share one capture, so a packet of
// that interface is accounted once.

#include "capture/packet_capture.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CaptureList {
public:
    using Stale = std::function<bool(const std::string& address, CPacketCapture& capture)>;

    CaptureList() = default;
    CaptureList(const CaptureList&) = delete;
    CaptureList& operator=(const CaptureList&) = delete;
    ~CaptureList();

    // Adds `capture` under `address`. After closeAll() the list refuses (false) and adds
    // nothing: the caller then closes the capture itself. This is what keeps a watcher pass
    // that runs during shutdown from leaving a capture behind.
    bool append(const std::string& address, std::shared_ptr<CPacketCapture> capture);
    bool contains(const std::string& address) const;
    // The capture already serving interface `interfaceIndex`, or null.
    std::shared_ptr<CPacketCapture> findInterface(int interfaceIndex) const;
    // Drops every address for which `isStale` says so and closes each capture that no address
    // uses any more (outside the lock). Returns the number of captures closed.
    std::size_t removeStale(const Stale& isStale);
    // Refuses further appends, then closes every capture: each thread is woken and joined.
    void closeAll();
    bool isClosed() const;

    // Number of captures (one per interface), not of addresses.
    std::size_t size() const;
    // The addresses that have a capture, in the order they were added.
    std::vector<std::string> addresses() const;
    // Each capture once, in the order they were added.
    std::vector<std::shared_ptr<CPacketCapture>> captures() const;

private:
    struct Entry {
        std::string address;
        std::shared_ptr<CPacketCapture> capture;
    };
    std::vector<std::shared_ptr<CPacketCapture>> distinctCaptures() const;

    mutable std::mutex guard; // guards entries and closed; never held while a capture closes
    std::vector<Entry> entries;
    bool closed = false;
};
