#pragma once

#include "engine/snapshot_source.h"
#include "samplers/cpu_sampler.h"
#include "samplers/process_sampler.h"

namespace velmora {

// One instance of every sampler, called in a fixed order once per engine tick. Lives on
// the engine's sampler thread; nothing else touches it.
class Samplers : public SnapshotSource {
public:
    Samplers();
    Snapshot tick(const std::function<bool()>& uiActive) override;

    CPUSampler cpu;
    ProcessSampler proc;
};

}  // namespace velmora
