#include "attribution/interface_names.h"

#include <cstdio>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The Ethernet address through the interface's socket ioctl (netdevice(7)), in the calling
// thread's namespace (sysfs shows the namespace it was mounted in).
std::string hardwareAddressOf(const std::string& name)
{
    ifreq request{};
    if (name.size() >= sizeof request.ifr_name)
        return {};
    name.copy(request.ifr_name, name.size());
    // Any socket serves the interface ioctls; a local one, as the service may open no IP socket.
    const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return {};
    const bool read = ::ioctl(probe, SIOCGIFHWADDR, &request) == 0;
    ::close(probe);
    if (!read || request.ifr_hwaddr.sa_family != ARPHRD_ETHER)
        return {};
    const auto* bytes = reinterpret_cast<const unsigned char*>(request.ifr_hwaddr.sa_data);
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", bytes[0], bytes[1], bytes[2], bytes[3], bytes[4],
                  bytes[5]);
    return text;
}

} // namespace

InterfaceName InterfaceNamer::nameOf(int index)
{
    if (index <= 0)
        return {};
    char buffer[IF_NAMESIZE] = {};
    if (::if_indextoname(unsigned(index), buffer) == nullptr) {
        const auto found = known.find(index);
        return found != known.end() ? found->second : InterfaceName{"interface " + std::to_string(index), {}};
    }
    const auto found = known.find(index);
    if (found != known.end() && found->second.name == buffer)
        return found->second;
    InterfaceName interface{buffer, hardwareAddressOf(buffer)};
    known[index] = interface;
    return interface;
}
