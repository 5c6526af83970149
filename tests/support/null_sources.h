#pragma once

#include "core/snapshot_source.h"
#include "inspect/process_collector.h"
#include "platform/net_proc.h"

#include <functional>
#include <optional>
#include <vector>

namespace velmora::test {

// Stand-ins that know nothing, for views whose tests publish their own snapshots.
class NoSource : public SnapshotSource {
  public:
    Snapshot tick(const std::function<bool()>&) override { return {}; }
};

class NoCollector : public ProcessCollector {
  public:
    std::optional<ProcessStaticInfo> fetchStatic(int32_t) override { return std::nullopt; }
    std::optional<ProcessLiveInfo> fetchLive(int32_t) override { return std::nullopt; }
    std::optional<MemoryFootprint> memory(int32_t) override { return std::nullopt; }
    std::vector<NetConnection> connections(int32_t) override { return {}; }
    std::optional<OpenFilesResult> openFiles(int32_t) override { return std::nullopt; }
};

// Every measurement fails, as when the counters cannot be read.
class NoTraffic : public platform::NetProcSource {
  public:
    std::optional<std::vector<ProcNet>> measure(const platform::Interrupt::Token&) override { return std::nullopt; }
};

}  // namespace velmora::test
