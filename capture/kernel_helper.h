#pragma once
// The kernel source's helper process. The program forks it at start, while it still holds its
// capabilities, and then gives up every one of its own; the helper keeps CAP_BPF,
// CAP_NET_ADMIN and CAP_PERFMON (to read a received packet's socket) only, and runs nothing but this: it loads the counting programs, attaches them
// to every counted interface and follows interfaces and addresses as they come and go (route
// netlink), reads the flow tables once a second and sends the flows to the program over a
// socket pair. It ends with the program: at the end of the socket (a normal end) or at the
// signal the kernel sends when the program dies (PR_SET_PDEATHSIG), and its attachments end
// with it.
//
// The socket is SOCK_SEQPACKET: every send is one message. Helper to program: a header, then
// for Refused and Loaded a text, for Flows `count` records. Program to helper: a 64-bit
// serial, asking for the tables to be read at once; a DrainEnd with that serial follows the
// flows read.

#include "capture/counting_rules.h"
#include "capture/kernel_flow_counter.h"

#include <cstdint>
#include <sys/types.h>

enum class HelperMessage : std::uint32_t {
    Loaded = 1,  // text: the hooks the programs use ("tcx" or "classic tc")
    Refused = 2, // text: why the kernel refused them
    Flows = 3,
    DrainEnd = 4,
};

struct HelperHeader {
    HelperMessage kind;
    std::uint32_t count; // records after a Flows header
    std::uint64_t serial; // after DrainEnd: the request served
};

// The kernel's flow entry as the programs keep it, passed on whole: a wider key reaches the
// program unchanged.
struct KernelFlowRecord {
    velmora_flow_key key;
    velmora_flow_count count;
};

// Flows sent in one message at most.
constexpr std::uint32_t kHelperBatch = 512;

// The helper's life after fork(); `program` is the pid of the program it serves, `hooks` how
// the programs are attached (kernel_flow_counter.h). Never returns.
[[noreturn]] void runKernelHelper(int channel, pid_t program, KernelHooks hooks);
