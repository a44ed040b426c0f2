#pragma once
// The flow records of a source that hands one per packet (the ring), gathered on its thread and
// counted a batch at a time (CTrafficMeter::countFlows): the source hands a batch over when it
// has walked what the kernel had for it, and at most kMostRecords at once.

#include "accounting/traffic_meter.h"

#include <cstddef>
#include <vector>

class FlowBatch {
public:
    // About a ring block of small packets: the records wait at most one block's walk.
    static constexpr std::size_t kMostRecords = 256;

    explicit FlowBatch(CTrafficMeter& meter) : meter(meter) { records.reserve(kMostRecords); }
    FlowBatch(const FlowBatch&) = delete;
    FlowBatch& operator=(const FlowBatch&) = delete;
    ~FlowBatch() { handOver(); }

    void add(const FlowKey& key, const FlowCount& count)
    {
        records.push_back({key, count});
        if (records.size() == kMostRecords)
            handOver();
    }
    void handOver()
    {
        if (records.empty())
            return;
        meter.countFlows(records);
        records.clear();
    }

private:
    CTrafficMeter& meter;
    std::vector<FlowRecord> records;
};
