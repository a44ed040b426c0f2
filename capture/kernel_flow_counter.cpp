#include "capture/kernel_flow_counter.h"

#include "capture/bpf/flow_counter.skel.h"

#include <bpf/bpf.h>
#include <bpf/libbpf.h>

#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// enum bpf_attach_type of Linux 6.6 (tcx); the headers of older systems do not name them.
constexpr int kTcxIngress = 46;
constexpr int kTcxEgress = 47;

// Our classic tc filters' handle and priority at both hooks: how a later start recognises the
// ones a killed process left behind (a filter's program cannot be read without CAP_SYS_ADMIN).
constexpr std::uint32_t kClassicHandle = 0x564d;   // "VM"
constexpr std::uint32_t kClassicPriority = 0xc0de; // after the usual low priorities of tc users
constexpr bpf_tc_attach_point kClassicPoints[] = {BPF_TC_INGRESS, BPF_TC_EGRESS};

std::string errnoText(const char* what, int error)
{
    return std::string(what) + ": " + std::strerror(error);
}

// libbpf prints its own diagnostics on stderr; the reason a load fails reaches the caller.
int quietPrint(libbpf_print_level, const char*, va_list)
{
    return 0;
}

void toKey(const IpAddress& address, std::uint8_t* key)
{
    for (int i = 0; i < 8; ++i) {
        key[i] = std::uint8_t(address.high >> (56 - 8 * i));
        key[8 + i] = std::uint8_t(address.low >> (56 - 8 * i));
    }
}

// Bytes in front of the IP header of the interface's packets as the programs see them: an
// Ethernet header, or none (tun, WireGuard and other interfaces without a link header).
std::uint8_t linkHeaderOf(int interfaceIndex)
{
    ifreq request{};
    if (if_indextoname(unsigned(interfaceIndex), request.ifr_name) == nullptr)
        return 0;
    // Any socket serves the interface ioctls; a local one, as the service may open no IP socket.
    const int probe = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const bool ethernet =
        probe >= 0 && ::ioctl(probe, SIOCGIFHWADDR, &request) == 0 && request.ifr_hwaddr.sa_family == ARPHRD_ETHER;
    if (probe >= 0)
        ::close(probe);
    return ethernet ? 14 : 0;
}

} // namespace

std::unique_ptr<KernelFlowCounter> KernelFlowCounter::load(std::string& failure, KernelHooks hooks)
{
    libbpf_set_print(quietPrint);
    std::unique_ptr<KernelFlowCounter> counter(new KernelFlowCounter);
    counter->hooks = hooks;
    // With the receiving sockets' cgroups where the kernel lets the programs read sockets
    // (CAP_PERFMON), else without them.
    for (const bool readSockets : {true, false}) {
        counter->skeleton = flow_counter::open();
        if (counter->skeleton == nullptr)
            break;
        counter->skeleton->rodata->read_receiving_sockets = readSockets ? 1 : 0;
        if (flow_counter::load(counter->skeleton) == 0) {
            counter->receivingSockets = readSockets;
            break;
        }
        const int refusal = errno;
        flow_counter::destroy(counter->skeleton);
        counter->skeleton = nullptr;
        errno = refusal;
    }
    if (counter->skeleton == nullptr) {
        failure = errnoText("the kernel refused the counting programs", errno);
        return nullptr;
    }
    if (!counter->resetTable(bpf_map__fd(counter->skeleton->maps.flows_a)) ||
        !counter->resetTable(bpf_map__fd(counter->skeleton->maps.flows_b))) {
        failure = counter->error;
        return nullptr;
    }
    removeAbandonedClassic();
    return counter;
}

KernelFlowCounter::~KernelFlowCounter()
{
    while (!links.empty())
        detach(links.begin()->first);
    if (skeleton != nullptr)
        flow_counter::destroy(skeleton);
}

// An empty table but for the two overflow entries, which a full table adds to.
bool KernelFlowCounter::resetTable(int table)
{
    velmora_flow_key key{};
    velmora_flow_key next{};
    while (bpf_map_get_next_key(table, nullptr, &next) == 0) {
        key = next;
        if (bpf_map_delete_elem(table, &key) != 0)
            break;
    }
    const velmora_flow_count zero{};
    for (std::uint8_t direction : {std::uint8_t(VELMORA_RECEIVED), std::uint8_t(VELMORA_SENT)}) {
        velmora_flow_key overflow{};
        overflow.direction = direction;
        if (bpf_map_update_elem(table, &overflow, &zero, BPF_ANY) != 0) {
            error = errnoText("the flow table refused its overflow entry", errno);
            return false;
        }
    }
    return true;
}

bool KernelFlowCounter::attach(int interfaceIndex)
{
    if (hooks == KernelHooks::ClassicTc)
        return attachClassic(interfaceIndex);
    if (attachTcx(interfaceIndex))
        return true;
    // A kernel before 6.6 does not know the tcx attach types and refuses them as invalid.
    if (errno != EINVAL || !links.empty())
        return false;
    hooks = KernelHooks::ClassicTc;
    return attachClassic(interfaceIndex);
}

bool KernelFlowCounter::attachTcx(int interfaceIndex)
{
    Links pair;
    pair.ingress = bpf_link_create(bpf_program__fd(skeleton->progs.velmora_ingress), interfaceIndex,
                                   static_cast<bpf_attach_type>(kTcxIngress), nullptr);
    if (pair.ingress >= 0)
        pair.egress = bpf_link_create(bpf_program__fd(skeleton->progs.velmora_egress), interfaceIndex,
                                      static_cast<bpf_attach_type>(kTcxEgress), nullptr);
    if (pair.ingress < 0 || pair.egress < 0) {
        error = errnoText(("attaching to interface " + std::to_string(interfaceIndex)).c_str(), errno);
        if (pair.ingress >= 0)
            ::close(pair.ingress);
        return false;
    }
    links[interfaceIndex] = pair;
    return true;
}

// A clsact qdisc (made when missing, left in place: other filters may use it) and our filter
// at its ingress and egress, replacing one of ours a killed process left there.
bool KernelFlowCounter::attachClassic(int interfaceIndex)
{
    const int programs[2] = {bpf_program__fd(skeleton->progs.velmora_ingress),
                             bpf_program__fd(skeleton->progs.velmora_egress)};
    for (int i = 0; i < 2; ++i) {
        LIBBPF_OPTS(bpf_tc_hook, hook, .ifindex = interfaceIndex, .attach_point = kClassicPoints[i]);
        int result = bpf_tc_hook_create(&hook);
        LIBBPF_OPTS(bpf_tc_opts, filter, .prog_fd = programs[i], .flags = BPF_TC_F_REPLACE,
                    .handle = kClassicHandle, .priority = kClassicPriority);
        if (result == 0 || result == -EEXIST)
            result = bpf_tc_attach(&hook, &filter);
        if (result != 0) {
            error = errnoText(("attaching to interface " + std::to_string(interfaceIndex) + " (classic tc)").c_str(),
                              -result);
            removeClassic(interfaceIndex);
            return false;
        }
    }
    links[interfaceIndex] = Links{};
    return true;
}

void KernelFlowCounter::removeClassic(int interfaceIndex)
{
    for (bpf_tc_attach_point point : kClassicPoints) {
        LIBBPF_OPTS(bpf_tc_hook, hook, .ifindex = interfaceIndex, .attach_point = point);
        LIBBPF_OPTS(bpf_tc_opts, filter, .handle = kClassicHandle, .priority = kClassicPriority);
        bpf_tc_detach(&hook, &filter);
    }
}

// Filters of ours on any interface of the machine, left by a process that was killed before
// it could remove them.
void KernelFlowCounter::removeAbandonedClassic()
{
    struct if_nameindex* interfaces = if_nameindex();
    if (interfaces == nullptr)
        return;
    for (const struct if_nameindex* entry = interfaces; entry->if_index != 0; ++entry)
        for (bpf_tc_attach_point point : kClassicPoints) {
            LIBBPF_OPTS(bpf_tc_hook, hook, .ifindex = int(entry->if_index), .attach_point = point);
            LIBBPF_OPTS(bpf_tc_opts, filter, .handle = kClassicHandle, .priority = kClassicPriority);
            if (bpf_tc_query(&hook, &filter) == 0) {
                filter.prog_id = 0;
                bpf_tc_detach(&hook, &filter);
            }
        }
    if_freenameindex(interfaces);
}

void KernelFlowCounter::detach(int interfaceIndex)
{
    const auto found = links.find(interfaceIndex);
    if (found == links.end())
        return;
    if (found->second.ingress >= 0) {
        ::close(found->second.ingress);
        ::close(found->second.egress);
    } else {
        removeClassic(interfaceIndex); // gone with its interface already when that went away
    }
    links.erase(found);
}

bool KernelFlowCounter::setMachineAddresses(const MachineAddresses& addresses)
{
    const int addressTable = bpf_map__fd(skeleton->maps.machine_addresses);
    const int interfaceTable = bpf_map__fd(skeleton->maps.counted_interfaces);
    const std::uint8_t present = 1;
    // New addresses and interfaces first, so a new interface counts from its first packet.
    for (const MachineAddress& entry : addresses.entries()) {
        std::uint8_t key[16];
        toKey(entry.address, key);
        bpf_map_update_elem(addressTable, key, &present, BPF_ANY);
    }
    for (int index : addresses.interfaces()) {
        velmora_interface interface{};
        interface.linkHeader = linkHeaderOf(index);
        if (const HardwareAddress* hardware = addresses.hardwareAddress(index)) {
            std::memcpy(interface.hardware, hardware->data(), 6);
            interface.hasHardware = 1;
        }
        bpf_map_update_elem(interfaceTable, &index, &interface, BPF_ANY);
    }
    for (const MachineAddress& entry : current.entries()) {
        if (addresses.holds(entry.address))
            continue;
        std::uint8_t key[16];
        toKey(entry.address, key);
        bpf_map_delete_elem(addressTable, key);
    }
    for (int index : current.interfaces()) {
        if (addresses.counts(index))
            continue;
        bpf_map_delete_elem(interfaceTable, &index);
        detach(index);
    }
    bool allAttached = true;
    for (int index : addresses.interfaces()) {
        if (links.count(index) == 0 && !attach(index))
            allAttached = false;
    }
    current = addresses;
    return allAttached;
}

std::vector<int> KernelFlowCounter::attachedInterfaces() const
{
    std::vector<int> indexes;
    for (const auto& [index, pair] : links)
        indexes.push_back(index);
    return indexes;
}

std::size_t KernelFlowCounter::drain(const FlowVisitor& visit)
{
    const int outer = bpf_map__fd(skeleton->maps.active_flows);
    const int tables[2] = {bpf_map__fd(skeleton->maps.flows_a), bpf_map__fd(skeleton->maps.flows_b)};
    const int taken = tables[activeTable];
    const int next = tables[1 - activeTable];
    const std::uint32_t slot = 0;
    // The kernel returns from replacing an entry of a table of tables only when no program
    // still runs on the old entry: what `taken` holds now is final.
    if (bpf_map_update_elem(outer, &slot, &next, BPF_ANY) != 0) {
        error = errnoText("replacing the flow table", errno);
        return 0;
    }
    activeTable = 1 - activeTable;
    std::size_t handed = 0;
    velmora_flow_key key{};
    velmora_flow_count count{};
    bool first = true;
    while (bpf_map_get_next_key(taken, first ? nullptr : &key, &key) == 0) {
        first = false;
        if (bpf_map_lookup_elem(taken, &key, &count) != 0 || count.packets == 0)
            continue;
        visit(key, count);
        ++handed;
    }
    resetTable(taken);
    return handed;
}

KernelFlowCounter::RunTime KernelFlowCounter::programRunTime() const
{
    RunTime total;
    for (const bpf_program* program : {skeleton->progs.velmora_ingress, skeleton->progs.velmora_egress}) {
        bpf_prog_info info{};
        std::uint32_t size = sizeof info;
        if (bpf_obj_get_info_by_fd(bpf_program__fd(program), &info, &size) == 0) {
            total.runs += info.run_cnt;
            total.nanoseconds += info.run_time_ns;
        }
    }
    return total;
}
