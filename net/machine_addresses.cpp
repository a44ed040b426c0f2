#include "net/machine_addresses.h"

#include <algorithm>

#include <ifaddrs.h>
#include <net/if_arp.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>

MachineAddresses::MachineAddresses(std::vector<MachineAddress> addresses,
                                   std::vector<std::pair<int, HardwareAddress>> hardwareAddresses)
    : sorted(std::move(addresses)), hardware(std::move(hardwareAddresses))
{
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    for (const MachineAddress& entry : sorted) {
        if (interfaceList.empty() || interfaceList.back() != entry.interfaceIndex)
            interfaceList.push_back(entry.interfaceIndex);
        addressList.push_back(entry.address);
    }
    std::sort(addressList.begin(), addressList.end());
    addressList.erase(std::unique(addressList.begin(), addressList.end()), addressList.end());
    std::sort(hardware.begin(), hardware.end());
}

bool MachineAddresses::holds(const IpAddress& address) const
{
    return std::binary_search(addressList.begin(), addressList.end(), address);
}

const HardwareAddress* MachineAddresses::hardwareAddress(int interfaceIndex) const
{
    const auto found = std::lower_bound(hardware.begin(), hardware.end(), interfaceIndex,
                                        [](const auto& entry, int index) { return entry.first < index; });
    return found != hardware.end() && found->first == interfaceIndex ? &found->second : nullptr;
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
    std::vector<std::pair<int, HardwareAddress>> hardware;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0)
            continue;
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            // One per interface, with its index (packet(7)): the link-layer address.
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            if (link->sll_hatype == ARPHRD_ETHER && link->sll_halen == 6) {
                HardwareAddress mac;
                std::copy(link->sll_addr, link->sll_addr + 6, mac.begin());
                hardware.emplace_back(link->sll_ifindex, mac);
            }
            continue;
        }
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
    return MachineAddresses(std::move(found), std::move(hardware));
}
