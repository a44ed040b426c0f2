#pragma once
// The kernel packet source's programs and tables (bpf/flow_counter.bpf.c): loaded into the
// kernel, attached at the ingress and egress of every counted interface, and read once a
// period. Nothing is copied per packet: the programs add each packet of the machine's own
// traffic to its flow's entry, by the rules the ring applies (counting_rules.h).
//
// Attachments are bpf links (tcx, Linux 6.6 and later): they belong to this object's file
// descriptors, so they end with it, and with the process however it ends (kill -9 included).
// Where the kernel has no tcx hook (Debian 12's 6.1) the programs are attached with classic tc
// (a clsact qdisc and a bpf filter of our own handle and priority), which outlives its process:
// this object removes its filters when destroyed, and load() removes any left by a process that
// could not (killed with SIGKILL).
//
// Loading needs CAP_BPF and CAP_NET_ADMIN (or root), attaching CAP_NET_ADMIN; reading and
// replacing the tables needs nothing more than the descriptors on this kernel (Linux 6.5 and
// later; before, every bpf call asked for CAP_BPF).

#include "capture/counting_rules.h"
#include "net/machine_addresses.h"

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct flow_counter; // the skeleton bpftool generates from the programs

enum class KernelHooks { Tcx, ClassicTc };

using FlowVisitor = std::function<void(const velmora_flow_key& key, const velmora_flow_count& count)>;

class KernelFlowCounter {
public:
    // Loads the programs and creates their tables; null, with the reason in `failure`, when
    // the kernel refuses (no privilege, no BPF, a verifier that rejects them). Attaches with
    // `hooks`; tcx falls back to classic tc on a kernel without it.
    static std::unique_ptr<KernelFlowCounter> load(std::string& failure, KernelHooks hooks = KernelHooks::Tcx);
    ~KernelFlowCounter(); // detaches every program (closes the links)
    KernelFlowCounter(const KernelFlowCounter&) = delete;
    KernelFlowCounter& operator=(const KernelFlowCounter&) = delete;

    // Counts the interfaces that hold one of `addresses` (the loopback never does): the
    // addresses and interfaces go into the programs' tables, new interfaces are attached at
    // ingress and egress, interfaces no longer counted detached. False when an interface could
    // not be attached (lastError says why); the others count all the same.
    bool setMachineAddresses(const MachineAddresses& addresses);
    std::vector<int> attachedInterfaces() const;

    // Puts an empty flow table in, takes out the one the programs added to since the last
    // call (the kernel lets the programs running on it finish first) and hands each of its
    // flows to `visit`: nothing counted is lost between two calls. Returns the flows handed.
    std::size_t drain(const FlowVisitor& visit);

    std::string lastError() const { return error; }
    // "tcx" or "classic tc": how the programs are attached (tcx until a kernel refused it).
    const char* hooksName() const { return hooks == KernelHooks::Tcx ? "tcx" : "classic tc"; }
    // Whether received packets carry their socket's cgroup: the kernel lets the programs read
    // sockets only with CAP_PERFMON; without it received packets are the system's (sent ones
    // carry theirs either way).
    bool readsReceivingSockets() const { return receivingSockets; }

    // Runs of both programs and the nanoseconds they took, as the kernel keeps them while
    // kernel.bpf_stats_enabled is 1 (for the benchmarks; zeros otherwise).
    struct RunTime {
        unsigned long long runs = 0;
        unsigned long long nanoseconds = 0;
    };
    RunTime programRunTime() const;

private:
    KernelFlowCounter() = default;
    bool attach(int interfaceIndex);
    bool attachTcx(int interfaceIndex);
    bool attachClassic(int interfaceIndex);
    static void removeClassic(int interfaceIndex);
    static void removeAbandonedClassic();
    void detach(int interfaceIndex);
    bool resetTable(int tableHandle);

    flow_counter* skeleton = nullptr;
    struct Links {
        int ingress = -1;
        int egress = -1;
    };
    std::map<int, Links> links; // by interface index
    MachineAddresses current;
    KernelHooks hooks = KernelHooks::Tcx;
    int activeTable = 0; // 0: flows_a, 1: flows_b
    std::string error;
    bool receivingSockets = false;
};
