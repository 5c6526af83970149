#include "samplers/disk_sampler.h"

namespace velmora {

namespace {

double rate(uint64_t now, uint64_t before, double dt) {
    // A total that fell (a device went away) gives 0; the lower total becomes the base.
    return now >= before ? static_cast<double>(now - before) / dt : 0.0;
}

uint64_t growth(uint64_t now, uint64_t before) {
    return now >= before ? now - before : 0;
}

}  // namespace

DiskSampler::DiskSampler() : DiskSampler(platform::makeDiskSource()) {}

DiskSampler::DiskSampler(std::unique_ptr<platform::DiskSource> source) : source_(std::move(source)) {}

DiskSampler::Capacity DiskSampler::capacity() {
    platform::VolumeBlocks blocks;
    if (!source_ || !source_->volume(blocks)) return capacityOf(nullptr);
    return capacityOf(&blocks);
}

DiskSampler::Capacity DiskSampler::capacityOf(const platform::VolumeBlocks* blocks) {
    Capacity c;
    if (!blocks) return c;
    const uint64_t total = blocks->total * blocks->blockSize;
    const uint64_t free = blocks->available * blocks->blockSize;
    c.total = total;
    if (total > free) {
        c.used = total - free;
        c.percent = static_cast<double>(c.used) / static_cast<double>(total) * 100.0;
    }
    return c;
}

DiskSampler::Rates DiskSampler::throughput() {
    platform::DiskTotals totals;
    if (!source_ || !source_->totals(totals)) return update(nullptr, SteadyClock::now());
    return update(&totals, SteadyClock::now());
}

DiskSampler::Rates DiskSampler::update(const platform::DiskTotals* totals, SteadyClock::time_point now) {
    Rates r;
    // Devices that cannot be listed leave the stored counters as they were.
    if (!totals) {
        r.readTotal = readTotal_;
        r.writeTotal = writeTotal_;
        return r;
    }
    const bool primed = prevTime_.has_value();
    const double dt = primed ? std::chrono::duration<double>(now - *prevTime_).count() : 0.0;
    if (primed && dt > 0) {
        r.read = rate(totals->readBytes, prevRead_, dt);
        r.write = rate(totals->writtenBytes, prevWrite_, dt);
    }
    if (primed) {
        readTotal_ += growth(totals->readBytes, prevRead_);
        writeTotal_ += growth(totals->writtenBytes, prevWrite_);
    }
    r.readTotal = readTotal_;
    r.writeTotal = writeTotal_;
    prevRead_ = totals->readBytes;
    prevWrite_ = totals->writtenBytes;
    prevTime_ = now;
    return r;
}

}  // namespace velmora
