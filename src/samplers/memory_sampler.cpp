#include "samplers/memory_sampler.h"

namespace velmora {

MemorySampler::MemorySampler() : MemorySampler(platform::makeMemorySource()) {}

MemorySampler::MemorySampler(std::unique_ptr<platform::MemorySource> source) : source_(std::move(source)) {
    if (source_) {
        pageSize_ = source_->pageSize();
        totalMem_ = source_->totalBytes();
    }
}

MemorySampler::Result MemorySampler::sample() {
    platform::MemoryPages pages;
    if (!source_ || !source_->read(pages)) return update(nullptr);
    return update(&pages);
}

MemorySampler::Result MemorySampler::update(const platform::MemoryPages* pages) const {
    Result r;
    r.total = totalMem_;
    if (!pages) return r;
    r.used = pageSize_ * (pages->used + pages->compressor);
    r.compressed = pages->compressor * pageSize_;
    r.swap = pages->swapUsedBytes;
    r.percent = totalMem_ > 0 ? static_cast<double>(r.used) / static_cast<double>(totalMem_) * 100.0 : 0.0;
    return r;
}

}  // namespace velmora
