#pragma once
// The machine's own addresses, each with the interface that holds it: what decides which
// packets are the machine's traffic (own_traffic.h) and which interfaces are counted.

#include "profile/ip_address.h"

#include <optional>
#include <vector>

struct MachineAddress {
    int interfaceIndex = 0;
    IpAddress address;
    friend auto operator<=>(const MachineAddress&, const MachineAddress&) = default;
};

class MachineAddresses {
public:
    MachineAddresses() = default;
    explicit MachineAddresses(std::vector<MachineAddress> addresses);

    // Whether the interface holds the address (the same address may sit on two interfaces).
    bool holds(int interfaceIndex, const IpAddress& address) const;
    // The interfaces that hold at least one address, in increasing order.
    const std::vector<int>& interfaces() const { return interfaceList; }
    bool counts(int interfaceIndex) const;
    const std::vector<MachineAddress>& entries() const { return sorted; }
    bool empty() const { return sorted.empty(); }

    friend bool operator==(const MachineAddresses& a, const MachineAddresses& b) { return a.sorted == b.sorted; }

private:
    std::vector<MachineAddress> sorted; // by interface, then address; no repeats
    std::vector<int> interfaceList;
};

// Every address of the interfaces that are up, IPv4 and IPv6 (link-local ones included), the
// loopback left out (getifaddrs(3)). Nothing when the list could not be read: the caller keeps
// what it had.
std::optional<MachineAddresses> listMachineAddresses();
