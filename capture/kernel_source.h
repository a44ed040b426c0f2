#pragma once
// The program's side of the kernel packet source: the helper process that owns the counting
// programs (kernel_helper.h), started at the very start, and a thread that hands each flow the
// helper sends to the accounting. The program itself holds no capability for any of it.
//
//     std::string failure;
//     auto kernel = KernelSource::launch(failure);       // one thread, capabilities still held
//     dropAllCapabilities();
//     kernel->run([&](const FlowKey& k, const FlowCount& c) { meter.countFlow(k, c); });
//     ...
//     kernel->drainNow();                                 // the last second's flows
//     kernel->close();                                    // the helper ends, nothing stays attached

#include "capture/flow_count.h"
#include "capture/kernel_helper.h"
#include "capture/worker_thread.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

using FlowHandler = std::function<void(const FlowKey& key, const FlowCount& count)>;

// The accounting's flow of a kernel flow entry.
FlowKey flowKeyOf(const velmora_flow_key& key);
FlowCount flowCountOf(const velmora_flow_count& count);

class KernelSource : public CWorkerThread {
public:
    // Forks the helper and waits until it has loaded and attached the programs. Null, with
    // the kernel's reason in `failure`, when it refused them. Call while the process has one
    // thread (fork) and still holds CAP_BPF and CAP_NET_ADMIN (or is root).
    static std::unique_ptr<KernelSource> launch(std::string& failure, KernelHooks hooks = KernelHooks::Tcx);
    ~KernelSource() override; // close()

    // Starts the thread that hands each flow the helper sends to `handler`.
    bool run(FlowHandler handler);
    // Asks the helper to read the tables at once and waits, at most `patience`, until what
    // they held was handed on. False when the helper did not answer in time.
    bool drainNow(std::chrono::milliseconds patience = std::chrono::seconds(2));
    // Ends the thread and the helper, and waits for the helper's end: its programs are
    // detached when this returns. Safe to repeat.
    void close();

    // The hooks the helper attached with: "tcx" or "classic tc".
    const std::string& hooks() const { return hookName; }
    pid_t helperProcess() const { return helper; }
    // Whether the helper still serves; when it ended on its own, why.
    bool isUp() const { return !ended.load(std::memory_order_acquire); }
    std::string failure() const;

protected:
    void run() override;
    void wake() override;

private:
    KernelSource(int channel, pid_t helper, std::string hooks);
    void handleMessage(const char* data, std::size_t size);

    int channel = -1;
    pid_t helper = -1;
    std::string hookName;
    FlowHandler handler;
    std::atomic<bool> ended{false};

    mutable std::mutex drainGuard; // guards the serials; with drained
    std::condition_variable drained;
    std::uint64_t requested = 0;
    std::uint64_t served = 0;
};
