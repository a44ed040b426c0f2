#include "capture/counting_source.h"

#include <cerrno>
#include <cstring>

const char* CountingChoice::name() const
{
    switch (kind) {
    case CountingKind::Kernel:
        return "kernel";
    case CountingKind::Ring:
        return "ring";
    case CountingKind::None:
        break;
    }
    return "none";
}

std::string CountingChoice::line() const
{
    std::string text;
    switch (kind) {
    case CountingKind::Kernel:
        text = "counting in the kernel";
        break;
    case CountingKind::Ring:
        text = "counting with the packet ring";
        break;
    case CountingKind::None:
        text = "counting nothing";
        break;
    }
    return reason.empty() ? text : text + ": " + reason;
}

CountingSource::CountingSource(CaptureSocket socket) : ringSocket(std::move(socket))
{
    choice.kind = ringSocket.isOpen() ? CountingKind::Ring : CountingKind::None;
}

CountingSource CountingSource::open(CountingRequest request)
{
    CountingSource source;
    std::string refused;
    if (request != CountingRequest::Ring) {
        std::string failure;
        source.kernel = KernelSource::launch(
            failure, request == CountingRequest::ClassicTc ? KernelHooks::ClassicTc : KernelHooks::Tcx);
        if (source.kernel != nullptr) {
            source.choice = {CountingKind::Kernel, "eBPF programs at each interface (" + source.kernel->hooks() + ")"};
            return source;
        }
        refused = failure; // "the kernel refused the counting programs: ..."
        if (failure.find(std::strerror(EPERM)) != std::string::npos)
            refused += "; they need CAP_BPF and CAP_NET_ADMIN";
    } else {
        refused = "asked for with --counting ring";
    }
    source.ringSocket = CaptureSocket::open();
    if (source.ringSocket.isOpen()) {
        source.choice = {CountingKind::Ring, refused};
        return source;
    }
    source.choice = {CountingKind::None, refused + "; the packet socket was refused too (" +
                                             std::strerror(source.ringSocket.openError()) + ")"};
    return source;
}
