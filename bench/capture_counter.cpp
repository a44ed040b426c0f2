// Driver for bench/capture_flood.sh, run inside the flood's network namespaces.
//
//   capture_counter count <address> <udp-port> <seconds>
//       counts the interface of <address> for <seconds> with the program's own capture and
//       accounting (Default profile), keeps a UDP socket on <udp-port> as the flood's sink,
//       then prints: captured=<flood packets seen> drops=<kernel drops> cpu=<seconds used
//       from opening the capture to closing it>
//   capture_counter kernel <address> <udp-port> <seconds>
//       the same with the kernel source (kernel_flow_counter.h): its programs at the interface
//       of <address>, the flow tables read once a second; prints captured=<flood packets
//       counted> drops=0 cpu=<seconds> runs=<program runs> run_ns=<their nanoseconds> (with
//       kernel.bpf_stats_enabled=1; 0 otherwise)
//   capture_counter sink <address> <udp-port> <seconds>
//       only the UDP sink (for the tcpdump run)
//   capture_counter flood <address> <udp-port> <seconds>
//       sends small UDP datagrams to <address>:<udp-port> as fast as it can; prints sent=<n>
//   capture_counter wire <address> <any> <seconds>
//       captures the interface of <address> for <seconds> and prints, per direction (down: to
//       <address>): the packets the socket delivered and their IP bytes, the wire packets they
//       stand for, and the bytes the Default profile counted

#include "accounting/flow_batch.h"
#include "accounting/traffic_meter.h"
#include "capture/kernel_flow_counter.h"
#include "capture/packet_capture.h"
#include "capture/packet_decode.h"
#include "capture/packet_flow.h"
#include "capture/wire_packets.h"
#include "profile/profile_store.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kBatch = 256;
constexpr std::size_t kPayload = 18; // 46-byte IP packets: the smallest Ethernet frames

// An IPv4 or IPv6 (a text with a colon) socket address and its length.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

SocketAddress socketAddress(const char* address, int port)
{
    SocketAddress result;
    if (std::strchr(address, ':') != nullptr) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&result.storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(std::uint16_t(port));
        inet_pton(AF_INET6, address, &v6->sin6_addr);
        result.length = sizeof *v6;
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&result.storage);
        v4->sin_family = AF_INET;
        v4->sin_port = htons(std::uint16_t(port));
        inet_pton(AF_INET, address, &v4->sin_addr);
        result.length = sizeof *v4;
    }
    return result;
}

// A UDP socket bound to the flood's target that is never read: datagrams end in its full
// queue, and the target sends no ICMP "port unreachable" back.
int openSink(const char* address, int port)
{
    const SocketAddress local = socketAddress(address, port);
    const int handle = socket(local.storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (handle < 0 || bind(handle, local.get(), local.length) != 0) {
        std::perror("sink");
        std::exit(1);
    }
    return handle;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int flood(const char* address, int port, double seconds)
{
    const SocketAddress target = socketAddress(address, port);
    const int handle = socket(target.storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (handle < 0 || connect(handle, target.get(), target.length) != 0) {
        std::perror("flood");
        return 1;
    }
    char payload[kPayload] = "velmora-flood";
    std::vector<iovec> parts(kBatch, iovec{payload, kPayload});
    std::vector<mmsghdr> messages(kBatch);
    for (int i = 0; i < kBatch; ++i) {
        messages[i] = mmsghdr{};
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    unsigned long long sent = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        const int count = sendmmsg(handle, messages.data(), kBatch, 0);
        if (count > 0)
            sent += unsigned(count);
    }
    std::printf("sent=%llu\n", sent);
    return 0;
}

// The addresses of the interface that holds `address`: the capture counts that interface only.
MachineAddresses addressesOfInterfaceHolding(const char* address)
{
    std::vector<MachineAddress> kept;
    const MachineAddresses all = listMachineAddresses().value_or(MachineAddresses());
    for (const MachineAddress& entry : all.entries())
        if (ipAddressText(entry.address) == address)
            for (const MachineAddress& sibling : all.entries())
                if (sibling.interfaceIndex == entry.interfaceIndex)
                    kept.push_back(sibling);
    return MachineAddresses(std::move(kept));
}

// As the engine does: the ring's packets reach the accounting as one flow record each,
// counted a walk of the ring at a time.
void countPacket(FlowBatch& batch, const CapturedPacket& packet)
{
    FlowKey key;
    FlowCount count;
    if (packetFlow(packet, key, count))
        batch.add(key, count);
}

int count(const char* address, int port, double seconds)
{
    const int sink = openSink(address, port);
    SharedProfiles profiles;
    profiles.profiles.push_back(makeDefaultProfile(address));
    CTrafficMeter meter({}, &profiles);
    FlowBatch batch(meter);

    std::atomic<unsigned long long> floodPackets{0};
    CPacketCapture capture([&](const CapturedPacket& packet) {
        countPacket(batch, packet);
        const std::uint8_t* data = packet.data;
        const std::size_t captured = packet.captured;
        // UDP (protocol 17) to the flood's port: behind an IPv4 header without options, or
        // right behind the IPv6 header.
        const bool ipv6 = captured >= 44 && data[0] >> 4 == 6 && data[6] == 17 && loadBigEndian16(data + 42) == port;
        if (ipv6 || (captured >= 24 && data[0] >> 4 == 4 && data[9] == 17 && loadBigEndian16(data + 22) == port))
            floodPackets.fetch_add(1, std::memory_order_relaxed);
    },
    [&] { batch.handOver(); });
    const double cpuBefore = cpuSeconds(); // the capture's own time, from its opening on
    capture.setMachineAddresses(addressesOfInterfaceHolding(address));
    if (!capture.open(CaptureSocket::open())) {
        std::fprintf(stderr, "capture: %s\n", capture.failureText().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    capture.close(); // reads the kernel's statistics one last time
    const unsigned long long drops = capture.kernelDrops();
    ::close(sink);
    std::printf("captured=%llu drops=%llu cpu=%.3f\n", floodPackets.load(), drops, cpuSeconds() - cpuBefore);
    return 0;
}

int countInKernel(const char* address, int port, double seconds)
{
    const int sink = openSink(address, port);
    std::string failure;
    std::unique_ptr<KernelFlowCounter> counter = KernelFlowCounter::load(failure);
    if (counter == nullptr || !counter->setMachineAddresses(addressesOfInterfaceHolding(address))) {
        std::fprintf(stderr, "kernel: %s\n", counter ? counter->lastError().c_str() : failure.c_str());
        return 1;
    }
    const double cpuBefore = cpuSeconds(); // the reading's time, once loaded (like the ring's once open)
    unsigned long long floodPackets = 0;
    const auto read = [&] {
        counter->drain([&](const velmora_flow_key& key, const velmora_flow_count& count) {
            if (key.direction == VELMORA_RECEIVED && key.protocol == 17 && key.localPort == port)
                floodPackets += count.packets;
        });
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        read();
    }
    read();
    const KernelFlowCounter::RunTime run = counter->programRunTime();
    counter.reset();
    ::close(sink);
    std::printf("captured=%llu drops=0 cpu=%.3f runs=%llu run_ns=%llu\n", floodPackets, cpuSeconds() - cpuBefore,
                run.runs, run.nanoseconds);
    return 0;
}

struct DirectionCount {
    std::atomic<unsigned long long> seen{0}, seenBytes{0}, wire{0};
};

int countWire(const char* address, double seconds)
{
    SharedProfiles profiles;
    profiles.profiles.push_back(makeDefaultProfile(address));
    CTrafficMeter meter({}, &profiles);
    FlowBatch batch(meter);
    DirectionCount down, up;
    CPacketCapture capture([&](const CapturedPacket& packet) {
        countPacket(batch, packet);
        const std::uint8_t* data = packet.data;
        const std::size_t captured = packet.captured;
        const std::int32_t length = packet.delivered;
        const OffloadHeader& offload = packet.offload;
        if (captured < 20 || length <= 20)
            return;
        DirectionCount& direction = packet.way == PacketWay::Received ? down : up;
        direction.seen.fetch_add(1, std::memory_order_relaxed);
        direction.seenBytes.fetch_add(std::uint64_t(length), std::memory_order_relaxed);
        direction.wire.fetch_add(countWirePackets(data, std::uint32_t(length), captured, offload).packets,
                                 std::memory_order_relaxed);
    },
    [&] { batch.handOver(); });
    capture.setMachineAddresses(addressesOfInterfaceHolding(address));
    if (!capture.open(CaptureSocket::open())) {
        std::fprintf(stderr, "capture: %s\n", capture.failureText().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    capture.close();
    double bytesDown = 0, bytesUp = 0;
    for (const YearHistory& year : profiles.snapshot().front().history)
        for (const DayTotals& day : year.days) {
            bytesDown += day.down;
            bytesUp += day.up;
        }
    std::printf("seen_down=%llu seen_bytes_down=%llu wire_down=%llu bytes_down=%.0f "
                "seen_up=%llu seen_bytes_up=%llu wire_up=%llu bytes_up=%.0f drops=%llu\n",
                down.seen.load(), down.seenBytes.load(), down.wire.load(), bytesDown, up.seen.load(),
                up.seenBytes.load(), up.wire.load(), bytesUp, (unsigned long long)capture.kernelDrops());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s count|kernel|sink|flood|wire <address> <udp-port> <seconds>\n", argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    const int port = std::atoi(argv[3]);
    const double seconds = std::atof(argv[4]);
    if (mode == "flood")
        return flood(argv[2], port, seconds);
    if (mode == "count")
        return count(argv[2], port, seconds);
    if (mode == "kernel")
        return countInKernel(argv[2], port, seconds);
    if (mode == "wire")
        return countWire(argv[2], seconds);
    const int sink = openSink(argv[2], port);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    ::close(sink);
    return 0;
}
