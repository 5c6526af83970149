#pragma once

#include "platform/memory.h"

#include <cstdint>
#include <memory>

namespace velmora {

// Physical memory in use, held by the compressor, and swap in use, once per tick.
class MemorySampler {
  public:
    struct Result {
        uint64_t used = 0;
        uint64_t total = 0;
        uint64_t compressed = 0;
        uint64_t swap = 0;
        double percent = 0;
    };

    MemorySampler();
    explicit MemorySampler(std::unique_ptr<platform::MemorySource> source);

    Result sample();
    // The logic of one call, given this tick's reading (nullptr when the read failed).
    Result update(const platform::MemoryPages* pages) const;

    uint64_t pageSize() const { return pageSize_; }
    uint64_t totalMem() const { return totalMem_; }

  private:
    std::unique_ptr<platform::MemorySource> source_;
    uint64_t pageSize_ = 0;
    uint64_t totalMem_ = 0;
};

}  // namespace velmora
