#include "capture/capture_socket.h"

#include "base/program_log.h"
#include "capture/net_socket.h"

#include <atomic>
#include <cerrno>
#include <utility>

#include <sys/socket.h>
#include <unistd.h>

namespace {

// Without CAP_NET_RAW socket(AF_PACKET) fails with EPERM. Said once per run, on stderr only,
// naming every capability counting uses: the kernel source's were refused before this.
void explainMissingCapability()
{
    static std::atomic<bool> told{false};
    if (told.exchange(true))
        return;
    char path[512] = {};
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    logLine(std::string("capturing traffic needs the CAP_BPF, CAP_NET_ADMIN and CAP_PERFMON capabilities (counting in "
                        "the kernel) or CAP_NET_RAW (the packet socket); grant them with: "
                        "setcap cap_net_raw,cap_net_admin,cap_perfmon,cap_bpf+ep ") +
            (size > 0 ? path : "<binary>"));
}

} // namespace

CaptureSocket::CaptureSocket(CaptureSocket&& other) noexcept
    : handle(std::exchange(other.handle, -1)), error(std::exchange(other.error, 0))
{
}

CaptureSocket& CaptureSocket::operator=(CaptureSocket&& other) noexcept
{
    if (this != &other) {
        if (handle >= 0)
            ::close(handle);
        handle = std::exchange(other.handle, -1);
        error = std::exchange(other.error, 0);
    }
    return *this;
}

CaptureSocket::~CaptureSocket()
{
    if (handle >= 0)
        ::close(handle);
}

CaptureSocket CaptureSocket::open()
{
    CaptureSocket result;
    // SOCK_RAW: every frame starts at its link header and the ring says where the IP header
    // begins, so interfaces without a link header (tun, WireGuard) are read like Ethernet ones.
    result.handle = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
    if (result.handle < 0) {
        result.error = errno;
        if (result.error == EPERM || result.error == EACCES)
            explainMissingCapability();
    }
    return result;
}

std::unique_ptr<CNetSocket> CaptureSocket::release()
{
    if (handle < 0)
        return nullptr;
    return std::make_unique<CNetSocket>(std::exchange(handle, -1));
}
