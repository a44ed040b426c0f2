#include "capture/net_socket.h"

#include "capture/socket_errors.h"

#include <cerrno>
#include <utility>

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <unistd.h>

namespace {
constexpr int kNotASocket = 10038;
}

CNetSocket::~CNetSocket()
{
    if (handle != kInvalidHandle)
        close();
}

bool CNetSocket::recordFailure()
{
    lastErrorText = recordErrno(errno);
    return false;
}

bool CNetSocket::bindInterface(int interfaceIndex, std::uint16_t protocol)
{
    sockaddr_ll local{};
    local.sll_family = AF_PACKET;
    local.sll_protocol = htons(protocol);
    local.sll_ifindex = interfaceIndex;
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return recordFailure();
    return true;
}

bool CNetSocket::close()
{
    if (handle == kInvalidHandle) {
        setLastSocketError(kNotASocket);
        lastErrorText = errorText();
        return false;
    }
    // After close(2) the descriptor is gone even when it reports an error (EINTR included),
    // so it is forgotten either way and never reaches a handle reused by another socket.
    if (::close(std::exchange(handle, kInvalidHandle)) != 0)
        return recordFailure();
    return true;
}

bool CNetSocket::setOption(int level, int option, std::int32_t value)
{
    return setOptionBytes(level, option, &value, sizeof value);
}

bool CNetSocket::setOptionBytes(int level, int option, const void* value, socklen_t size)
{
    if (setsockopt(handle, level, option, value, size) != 0)
        return recordFailure();
    return true;
}

bool CNetSocket::readOption(int level, int option, void* value, socklen_t* size)
{
    if (getsockopt(handle, level, option, value, size) != 0)
        return recordFailure();
    return true;
}
