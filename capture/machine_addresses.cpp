#include "capture/machine_addresses.h"

#include <algorithm>

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

MachineAddresses::MachineAddresses(std::vector<MachineAddress> addresses) : sorted(std::move(addresses))
{
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (const MachineAddress& entry : sorted)
        if (interfaceList.empty() || interfaceList.back() != entry.interfaceIndex)
            interfaceList.push_back(entry.interfaceIndex);
}

bool MachineAddresses::holds(int interfaceIndex, const IpAddress& address) const
{
    return std::binary_search(sorted.begin(), sorted.end(), MachineAddress{interfaceIndex, address});
}

bool MachineAddresses::counts(int interfaceIndex) const
{
    return std::binary_search(interfaceList.begin(), interfaceList.end(), interfaceIndex);
}

std::optional<MachineAddresses> listMachineAddresses()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return std::nullopt;
    std::vector<MachineAddress> found;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        // An alias label ("eth0:1") names its interface before the colon.
        const std::string label = entry->ifa_name;
        const int index = int(if_nametoindex(label.substr(0, label.find(':')).c_str()));
        if (index == 0)
            continue; // gone since the list was made
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            found.push_back({index, IpAddress::fromV4(ntohl(v4->sin_addr.s_addr))});
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            found.push_back({index, IpAddress::fromV6(v6->sin6_addr.s6_addr)});
        }
    }
    freeifaddrs(list);
    return MachineAddresses(std::move(found));
}
