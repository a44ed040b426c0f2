#pragma once
// Which packet source counts, chosen once at the very start: the kernel source where the
// kernel loads its programs (kernel_source.h), else the packet ring (capture_socket.h), else
// nothing. Opened while the program still holds its capabilities and handed, as this object,
// to the engine, which says the choice and its reason.

#include "capture/capture_socket.h"
#include "capture/kernel_source.h"

#include <memory>
#include <string>

enum class CountingKind { Kernel, Ring, None };

enum class CountingRequest {
    Automatic, // the kernel source where it loads, else the ring
    Ring,      // the ring only (--counting ring): for comparison and bug reports
    ClassicTc, // the kernel's programs attached with classic tc, as before Linux 6.6 (--counting tc)
};

struct CountingChoice {
    CountingKind kind = CountingKind::None;
    std::string reason; // why this source; empty for the ring a caller opened itself
    // "kernel", "ring" or "none": the metric's label.
    const char* name() const;
    // One line for the log and the About box.
    std::string line() const;
};

class CountingSource {
public:
    CountingSource() = default;
    // The ring on a socket the caller opened (tests, benchmarks).
    CountingSource(CaptureSocket socket);
    CountingSource(CountingSource&&) noexcept = default;
    CountingSource& operator=(CountingSource&&) noexcept = default;

    // Opens the source `request` asks for, the kernel's first. Call while the process has one
    // thread and still holds its capabilities.
    static CountingSource open(CountingRequest request);

    CountingChoice choice;
    std::unique_ptr<KernelSource> kernel; // for Kernel
    CaptureSocket ringSocket;             // for Ring (and None: the refused socket's error)
};
