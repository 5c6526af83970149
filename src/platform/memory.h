#pragma once

#include <cstdint>
#include <memory>

namespace velmora::platform {

// One reading of the machine's memory, in pages of `MemorySource::pageSize()` bytes.
struct MemoryPages {
    // Pages counted as used, apart from the compressor's own pages: active and wired
    // pages on macOS; everything the kernel cannot hand out without swapping on Linux.
    uint64_t used = 0;
    // Pages the compressor itself occupies (compressed data, not what it stands for).
    uint64_t compressor = 0;
    uint64_t swapUsedBytes = 0;
};

class MemorySource {
  public:
    virtual ~MemorySource() = default;
    // Fixed for the life of the source; 0 when unknown.
    virtual uint64_t pageSize() const = 0;
    virtual uint64_t totalBytes() const = 0;
    // False when the statistics cannot be read.
    virtual bool read(MemoryPages& out) = 0;
};

std::unique_ptr<MemorySource> makeMemorySource();

}  // namespace velmora::platform
