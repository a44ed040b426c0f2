#pragma once
// Network namespaces made by the capture tests themselves (ip-netns(8)), so test traffic never
// leaves the machine's own test links. Names carry the process id; everything is removed by
// the destructor, also when a test fails half-way.

#include "net/machine_addresses.h"

#include <functional>
#include <memory>
#include <netinet/in.h>
#include <thread>
#include <string>
#include <vector>

// Whether this process may create namespaces and open packet sockets (root in CI).
bool canUseNamespaces();
// Deletes the namespaces of test runs whose process no longer exists (a crash skips cleanup).
void removeAbandonedNamespaces();

// Runs a shell command quietly; true when it exits with 0.
bool runCommand(const std::string& command);
// Runs a shell command and returns its standard output.
std::string commandOutput(const std::string& command);

class NetworkNamespace {
public:
    explicit NetworkNamespace(const std::string& label);
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;
    ~NetworkNamespace();

    const std::string& name() const { return namespaceName; }
    bool isCreated() const { return created; }
    // Runs `command` inside the namespace (ip netns exec).
    bool run(const std::string& command) const;
    std::string output(const std::string& command) const;
    // Runs `body` on a new thread that has entered the namespace; threads it starts inherit
    // the namespace. Returns when `body` returns.
    void runInside(const std::function<void()>& body) const;
    // Starts a thread inside the namespace; join it yourself.
    std::thread startInside(std::function<void()> body) const;
    // A counter of /sys/class/net/<interface>/statistics inside the namespace.
    unsigned long long counter(const std::string& interface, const std::string& name) const;

private:
    std::string namespaceName;
    bool created = false;
};

constexpr unsigned long long kEthernetHeader = 14; // veth counts frames with their MAC header

struct LinkBytes {
    unsigned long long down = 0; // IP bytes received on the interface
    unsigned long long up = 0;   // IP bytes sent
};

// The IP bytes an Ethernet interface inside `side` received and sent, from its counters (veth
// and macvlan pad nothing).
LinkBytes ipBytes(const NetworkNamespace& side, const std::string& interface);

// Joins two namespaces with a veth pair: `nameA` in `a` with `addressA` (with prefix, e.g.
// "198.51.100.1/25"), `nameB` in `b`. IPv6 is off and each side has a static neighbour entry
// for the other, so the link carries nothing but the tests' own IPv4 packets.
bool linkNamespaces(const NetworkNamespace& a, const std::string& nameA, const std::string& addressA,
                    const NetworkNamespace& b, const std::string& nameB, const std::string& addressB);

// The pair of test hosts the capture tests run on, after clearing abandoned namespaces: "near"
// (198.51.100.1/25 on vm0), where the capture runs, linked to "far" (198.51.100.2/25 on vm1).
// False when they could not be made.
bool makeNearAndFar(std::unique_ptr<NetworkNamespace>& near, std::unique_ptr<NetworkNamespace>& far);

// Sets the static neighbour entries of such a link again (taking an interface down flushes
// them, and ARP would then add non-IPv4 frames to the link's counters).
bool addNeighbours(const NetworkNamespace& a, const std::string& nameA, const std::string& addressA,
                   const NetworkNamespace& b, const std::string& nameB, const std::string& addressB);

// The addresses `interface` holds inside `side`, as the address watcher hands them over.
MachineAddresses interfaceAddresses(const NetworkNamespace& side, const std::string& interface);

// IPv6 on a link made by linkNamespaces: a static address on each side (`addressA` with its
// prefix length), without duplicate address detection and without link-local addresses (so
// no router solicitations), and static neighbour entries.
bool linkIpv6(const NetworkNamespace& a, const std::string& nameA, const std::string& addressA,
              const NetworkNamespace& b, const std::string& nameB, const std::string& addressB);

// Waits until `interface` inside `side` has sent and received nothing for 1.5 s (IPv6 sends
// multicast listener reports for a while after an address or a group is added); false after
// 20 s.
bool waitForQuietLink(const NetworkNamespace& side, const std::string& interface);

// An IPv4 socket address of dotted text and port.
sockaddr_in socketAddress(const std::string& address, int port);
// An IPv4 or IPv6 socket address (IPv6 when the text holds a colon) and its length.
struct AnySocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    int family() const { return storage.ss_family; }
};
AnySocketAddress anySocketAddress(const std::string& address, int port);
// The port a socket is bound to, either family.
int boundPort(int handle);

// Connects a TCP socket to `target` and sends `total` bytes of filler; closes it either way.
void connectAndSend(const sockaddr* target, socklen_t length, std::size_t total);
// A socket made inside `side`, bound to (address, port); it keeps that namespace for life.
// -1 when it cannot be made or bound.
int socketInside(const NetworkNamespace& side, int type, const std::string& address, int port);
