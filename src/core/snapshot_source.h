#pragma once

#include "core/snapshot.h"

#include <functional>

namespace velmora {

// What the engine's worker calls once per tick. The real implementation runs every
// sampler in a fixed order; tests substitute their own.
class SnapshotSource {
  public:
    virtual ~SnapshotSource() = default;
    // Builds one snapshot. `uiActive` is asked at the point in the tick where the process
    // list would be read, so processes are sampled only while a process view is visible.
    virtual Snapshot tick(const std::function<bool()>& uiActive) = 0;
    // Takes a fresh process baseline, so the next tick's process list carries rates measured
    // since now. Called on the worker when a process view appears.
    virtual void primeProcesses() {}
};

}  // namespace velmora
