#include "capture/net_socket.h"

#include "capture/socket_errors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int kAddressNotAvailable = 10049;
constexpr int kNotASocket = 10038;

// The dotted text inet_ntoa writes for an IPv4 address in network byte order.
std::string dottedText(in_addr address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// Parses the address forms inet_addr(3) accepts; empty text is any address when allowed.
bool parseAddress(const std::string& text, bool emptyIsAny, in_addr& address)
{
    if (text.empty() && emptyIsAny) {
        address.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_aton(text.c_str(), &address) != 0;
}

sockaddr_in socketAddress(in_addr address, std::uint16_t port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr = address;
    result.sin_port = htons(port);
    return result;
}

// getifaddrs names an address with a label ("eth0:1"); the interface is the part before ':'.
std::string interfaceOfLabel(const char* label)
{
    std::string name = label;
    return name.substr(0, name.find(':'));
}

} // namespace

std::vector<LocalAddress> listLocalAddresses()
{
    std::vector<LocalAddress> result;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        LocalAddress local;
        in_addr address{};
        std::memcpy(&address, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, sizeof address);
        local.address = dottedText(address);
        local.interfaceName = interfaceOfLabel(entry->ifa_name);
        local.interfaceIndex = int(if_nametoindex(local.interfaceName.c_str()));
        const bool seen = std::any_of(result.begin(), result.end(),
                                      [&](const LocalAddress& other) { return other.address == local.address; });
        if (local.interfaceIndex != 0 && !seen)
            result.push_back(std::move(local));
    }
    freeifaddrs(list);
    return result;
}

bool interfaceExists(int index, const std::string& name)
{
    char current[IF_NAMESIZE] = {};
    return index > 0 && if_indextoname(unsigned(index), current) != nullptr && name == current;
}

CNetSocket::~CNetSocket()
{
    // On a socket that is already closed this only records an error text.
    close();
}

bool CNetSocket::recordFailure()
{
    lastErrorText = recordErrno(errno);
    return false;
}

void CNetSocket::markOpen()
{
    openFlag = true;
}

void CNetSocket::reset()
{
    openFlag = false;
    addressText.clear();
    portNumber = 0;
}

bool CNetSocket::connect(const std::string& address, std::uint16_t port)
{
    in_addr parsed{};
    if (!parseAddress(address, false, parsed)) {
        setLastSocketError(kAddressNotAvailable);
        lastErrorText = errorText();
        return false;
    }
    const sockaddr_in target = socketAddress(parsed, port);
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0)
        return recordFailure();
    markOpen();
    addressText = address;
    portNumber = port;
    return true;
}

bool CNetSocket::bindAny(std::uint16_t port)
{
    return bind(std::string(), port);
}

bool CNetSocket::bind(const std::string& address, std::uint16_t port)
{
    in_addr parsed{};
    const bool valid = parseAddress(address, true, parsed);
    addressText = address;
    if (!valid) {
        setLastSocketError(kAddressNotAvailable);
        lastErrorText = errorText();
        return false;
    }
    const sockaddr_in local = socketAddress(parsed, port);
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return recordFailure();
    if (::listen(handle, backlogLength) != 0)
        recordFailure(); // a socket that cannot listen (datagram, raw) is still bound
    markOpen();
    portNumber = port;
    return true;
}

bool CNetSocket::bindInterface(const std::string& address, int interfaceIndex, std::uint16_t protocol)
{
    addressText = address;
    sockaddr_ll local{};
    local.sll_family = AF_PACKET;
    local.sll_protocol = htons(protocol);
    local.sll_ifindex = interfaceIndex;
    if (::bind(handle, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return recordFailure();
    markOpen();
    return true;
}

bool CNetSocket::close()
{
    if (handle == kInvalidHandle) {
        setLastSocketError(kNotASocket);
        lastErrorText = errorText();
        return false;
    }
    // shutdown refuses sockets that are not connected (listening, datagram and packet
    // sockets): its text is kept, but the handle is released all the same.
    if (::shutdown(handle, SHUT_WR) != 0)
        recordFailure();
    // After close(2) the descriptor is gone even when it reports an error (EINTR included),
    // so it is forgotten either way and never reaches a handle reused by another socket.
    const int closing = std::exchange(handle, kInvalidHandle);
    reset();
    if (::close(closing) != 0)
        return recordFailure();
    return true;
}

std::int32_t CNetSocket::send(const std::uint8_t* data, std::int32_t length)
{
    if (length < 0)
        return -1;
    // MSG_NOSIGNAL: a peer that has gone makes send fail with EPIPE instead of killing the
    // process with SIGPIPE.
    return std::int32_t(::send(handle, data, std::size_t(length), MSG_NOSIGNAL));
}

std::int32_t CNetSocket::receive(std::uint8_t* buffer, std::int32_t size)
{
    if (buffer == nullptr || size < 0)
        return -1;
    std::memset(buffer, 0, std::size_t(size));
    return std::int32_t(::recv(handle, buffer, std::size_t(size), 0));
}

std::string CNetSocket::resolve(const std::string& name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return {};
    const auto* first = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    std::string text = dottedText(first->sin_addr);
    freeaddrinfo(found);
    return text;
}

std::string CNetSocket::hostNameOf(const std::string&)
{
    return {};
}

std::string CNetSocket::hostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::string CNetSocket::localAddresses()
{
    std::string text;
    for (const LocalAddress& local : listLocalAddresses())
        text += local.address + " ";
    return text;
}

std::string CNetSocket::peerAddress()
{
    sockaddr_in peer{};
    socklen_t size = sizeof peer;
    if (getpeername(handle, reinterpret_cast<sockaddr*>(&peer), &size) != 0 || peer.sin_family != AF_INET)
        return {};
    return dottedText(peer.sin_addr);
}

bool CNetSocket::ioctl(unsigned long command, std::int32_t argument)
{
    if (::ioctl(handle, command, &argument) != 0)
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
