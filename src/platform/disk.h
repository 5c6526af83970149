#pragma once

#include <cstdint>
#include <memory>

namespace velmora::platform {

// The system volume's size in blocks of `blockSize` bytes; `available` is what
// unprivileged users may still allocate.
struct VolumeBlocks {
    uint64_t blockSize = 0;
    uint64_t total = 0;
    uint64_t available = 0;
};

// Cumulative bytes moved by the machine's storage devices since boot.
struct DiskTotals {
    uint64_t readBytes = 0;
    uint64_t writtenBytes = 0;
};

class DiskSource {
  public:
    virtual ~DiskSource() = default;
    virtual bool volume(VolumeBlocks& out) = 0;
    // False when the devices cannot be listed at all.
    virtual bool totals(DiskTotals& out) = 0;
};

std::unique_ptr<DiskSource> makeDiskSource();

}  // namespace velmora::platform
