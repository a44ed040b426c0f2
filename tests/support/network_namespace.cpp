#include "support/network_namespace.h"

#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <vector>

bool canUseNamespaces()
{
    return geteuid() == 0 && runCommand("ip netns list");
}

void removeAbandonedNamespaces()
{
    // A test process that crashed leaves its namespaces behind; their names end in its pid.
    std::istringstream names(commandOutput("ip netns list"));
    for (std::string line; std::getline(names, line);) {
        const std::string name = line.substr(0, line.find(' '));
        const std::size_t dash = name.rfind('-');
        if (name.rfind("velmora-", 0) != 0 || dash == std::string::npos)
            continue;
        const std::string pid = name.substr(dash + 1);
        if (!pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos &&
            access(("/proc/" + pid).c_str(), F_OK) != 0)
            runCommand("ip netns del " + name);
    }
}

bool runCommand(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string commandOutput(const std::string& command)
{
    std::string result;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::array<char, 256> chunk{};
    while (std::fgets(chunk.data(), int(chunk.size()), pipe) != nullptr)
        result += chunk.data();
    pclose(pipe);
    return result;
}

NetworkNamespace::NetworkNamespace(const std::string& label)
    : namespaceName("velmora-" + label + "-" + std::to_string(getpid()))
{
    runCommand("ip netns del " + namespaceName);
    created = runCommand("ip netns add " + namespaceName) &&
              run("sysctl -w net.ipv6.conf.all.disable_ipv6=1") &&
              run("sysctl -w net.ipv6.conf.default.disable_ipv6=1") && run("ip link set lo up");
}

NetworkNamespace::~NetworkNamespace()
{
    // Deleting the namespace deletes its interfaces, and with them the veth peers.
    runCommand("ip netns del " + namespaceName);
}

bool NetworkNamespace::run(const std::string& command) const
{
    return runCommand("ip netns exec " + namespaceName + " " + command);
}

std::string NetworkNamespace::output(const std::string& command) const
{
    return commandOutput("ip netns exec " + namespaceName + " " + command);
}

std::thread NetworkNamespace::startInside(std::function<void()> body) const
{
    const std::string path = "/var/run/netns/" + namespaceName;
    return std::thread([path, body = std::move(body)] {
        // setns changes the namespace of this thread only; threads it creates inherit it.
        const int handle = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (handle < 0 || setns(handle, CLONE_NEWNET) != 0) {
            if (handle >= 0)
                ::close(handle);
            std::fprintf(stderr, "cannot enter %s\n", path.c_str());
            std::abort(); // running the body outside would touch the machine's own network
        }
        ::close(handle);
        body();
    });
}

void NetworkNamespace::runInside(const std::function<void()>& body) const
{
    startInside(body).join();
}

unsigned long long NetworkNamespace::counter(const std::string& interface, const std::string& name) const
{
    const std::string text = output("cat /sys/class/net/" + interface + "/statistics/" + name);
    return std::strtoull(text.c_str(), nullptr, 10);
}

bool addNeighbours(const NetworkNamespace& a, const std::string& nameA, const std::string& addressA,
                   const NetworkNamespace& b, const std::string& nameB, const std::string& addressB)
{
    const auto plain = [](const std::string& withPrefix) { return withPrefix.substr(0, withPrefix.find('/')); };
    const auto mac = [](const NetworkNamespace& side, const std::string& interface) {
        std::string text = side.output("cat /sys/class/net/" + interface + "/address");
        return text.substr(0, text.find('\n'));
    };
    return a.run("ip neigh replace " + plain(addressB) + " lladdr " + mac(b, nameB) + " dev " + nameA + " nud permanent") &&
           b.run("ip neigh replace " + plain(addressA) + " lladdr " + mac(a, nameA) + " dev " + nameB + " nud permanent");
}

bool linkNamespaces(const NetworkNamespace& a, const std::string& nameA, const std::string& addressA,
                    const NetworkNamespace& b, const std::string& nameB, const std::string& addressB)
{
    if (!a.run("ip link add " + nameA + " type veth peer name " + nameB + " netns " + b.name()))
        return false;
    const bool configured = a.run("ip addr add " + addressA + " dev " + nameA) &&
                            b.run("ip addr add " + addressB + " dev " + nameB) &&
                            a.run("ip link set " + nameA + " up") && b.run("ip link set " + nameB + " up");
    return configured && addNeighbours(a, nameA, addressA, b, nameB, addressB);
}

bool makeNearAndFar(std::unique_ptr<NetworkNamespace>& near, std::unique_ptr<NetworkNamespace>& far)
{
    removeAbandonedNamespaces();
    near = std::make_unique<NetworkNamespace>("near");
    far = std::make_unique<NetworkNamespace>("far");
    return near->isCreated() && far->isCreated() &&
           linkNamespaces(*near, "vm0", "198.51.100.1/25", *far, "vm1", "198.51.100.2/25");
}

sockaddr_in socketAddress(const std::string& address, int port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(std::uint16_t(port));
    inet_pton(AF_INET, address.c_str(), &result.sin_addr);
    return result;
}

AnySocketAddress anySocketAddress(const std::string& address, int port)
{
    AnySocketAddress result;
    if (address.find(':') == std::string::npos) {
        const sockaddr_in v4 = socketAddress(address, port);
        std::memcpy(&result.storage, &v4, sizeof v4);
        result.length = sizeof v4;
        return result;
    }
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(std::uint16_t(port));
    inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr);
    std::memcpy(&result.storage, &v6, sizeof v6);
    result.length = sizeof v6;
    return result;
}

int boundPort(int handle)
{
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    if (getsockname(handle, reinterpret_cast<sockaddr*>(&bound), &size) != 0)
        return -1;
    if (bound.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&bound)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&bound)->sin_port);
}

bool linkIpv6(const NetworkNamespace& a, const std::string& nameA, const std::string& addressA,
              const NetworkNamespace& b, const std::string& nameB, const std::string& addressB)
{
    const auto setUp = [](const NetworkNamespace& side, const std::string& interface, const std::string& address) {
        return side.run("sysctl -qw net.ipv6.conf." + interface + ".addr_gen_mode=1") &&
               side.run("sysctl -qw net.ipv6.conf." + interface + ".disable_ipv6=0") &&
               side.run("ip -6 addr add " + address + " dev " + interface + " nodad");
    };
    const auto neighbour = [](const NetworkNamespace& side, const std::string& interface, const std::string& address,
                              const NetworkNamespace& peer, const std::string& peerInterface) {
        std::string mac = peer.output("cat /sys/class/net/" + peerInterface + "/address");
        mac = mac.substr(0, mac.find('\n'));
        return side.run("ip -6 neigh replace " + address.substr(0, address.find('/')) + " lladdr " + mac + " dev " +
                        interface + " nud permanent");
    };
    return setUp(a, nameA, addressA) && setUp(b, nameB, addressB) && neighbour(a, nameA, addressB, b, nameB) &&
           neighbour(b, nameB, addressA, a, nameA);
}

// A socket made inside `side`, bound to (address, port); it keeps that namespace for life.
int socketInside(const NetworkNamespace& side, int type, const std::string& address, int port)
{
    int handle = -1;
    side.runInside([&] {
        const AnySocketAddress local = anySocketAddress(address, port);
        handle = ::socket(local.family(), type | SOCK_CLOEXEC, 0);
        if (handle >= 0 && ::bind(handle, local.get(), local.length) != 0) {
            ::close(handle);
            handle = -1;
        }
    });
    return handle;
}

MachineAddresses interfaceAddresses(const NetworkNamespace& side, const std::string& interface)
{
    const int index = std::atoi(side.output("cat /sys/class/net/" + interface + "/ifindex").c_str());
    std::vector<MachineAddress> kept;
    side.runInside([&] {
        const MachineAddresses all = listMachineAddresses().value_or(MachineAddresses());
        for (const MachineAddress& entry : all.entries())
            if (entry.interfaceIndex == index)
                kept.push_back(entry);
    });
    return MachineAddresses(std::move(kept));
}

LinkBytes ipBytes(const NetworkNamespace& side, const std::string& interface)
{
    LinkBytes bytes;
    bytes.down = side.counter(interface, "rx_bytes") - kEthernetHeader * side.counter(interface, "rx_packets");
    bytes.up = side.counter(interface, "tx_bytes") - kEthernetHeader * side.counter(interface, "tx_packets");
    return bytes;
}

bool waitForQuietLink(const NetworkNamespace& side, const std::string& interface)
{
    const auto frames = [&] { return side.counter(interface, "rx_packets") + side.counter(interface, "tx_packets"); };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (unsigned long long seen = frames(); std::chrono::steady_clock::now() < deadline;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const unsigned long long now = frames();
        if (now == seen)
            return true;
        seen = now;
    }
    return false;
}

void connectAndSend(const sockaddr* target, socklen_t length, std::size_t total)
{
    const int client = ::socket(target->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(client, target, length) == 0) {
        std::vector<std::uint8_t> chunk(1 << 16, 0xa5);
        for (std::size_t sent = 0; sent < total;) {
            const ssize_t n = ::send(client, chunk.data(), std::min(chunk.size(), total - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += std::size_t(n);
        }
    }
    ::close(client);
}
