#include "samplers/process_sampler.h"

#include "platform/gpu.h"

#include <chrono>

namespace velmora {

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Rate of a cumulative counter; a missing or fallen previous value gives 0.
double rate(uint64_t now, const uint64_t* prev, double dt) {
    return prev && now >= *prev ? static_cast<double>(now - *prev) / dt : 0.0;
}

}  // namespace

ProcessSampler::ProcessSampler(SwitchesFn switches)
    : ProcessSampler(platform::makeProcessSource(), std::move(switches), platform::gpuProcessTimes) {}

ProcessSampler::ProcessSampler(std::unique_ptr<platform::ProcessSource> source, SwitchesFn switches,
                               GpuWalk gpuWalk, Clock clock)
    : source_(std::move(source)),
      switches_(std::move(switches)),
      gpuWalk_(std::move(gpuWalk)),
      clock_(clock ? std::move(clock) : Clock(steadySeconds)),
      timeBase_(source_->timeBase()) {
    if (timeBase_.numer == 0 || timeBase_.denom == 0) timeBase_ = {1, 1};
}

double ProcessSampler::cpuPercent(uint64_t ticks, uint64_t prevTicks, double dt) const {
    if (ticks < prevTicks) return 0;
    return static_cast<double>(ticks - prevTicks) * timeBase_.numer / timeBase_.denom / 1e9 / dt * 100.0;
}

const PidMap<uint64_t>& ProcessSampler::gpuTimes() {
    gpu_.clear();
    if (!gpuWalk_) return gpu_;
    gpuPids_.fill(0);
    gpuTimes_.fill(0);
    // A walker that claims more entries than it was given room for is not trusted further.
    const int k = std::min(gpuWalk_(gpuPids_.data(), gpuTimes_.data(), kGpuCapacity), kGpuCapacity);
    for (int i = 0; i < k; ++i)
        gpu_.add(gpuPids_[i], gpuTimes_[i]);
    gpu_.finish([](uint64_t& sum, uint64_t more) { sum += more; });
    return gpu_;
}

QString ProcessSampler::processName(int32_t pid) {
    return source_->processName(pid);
}

std::vector<ProcInfo> ProcessSampler::sample() {
    const double now = clock_();
    const double dt = prevTime_ ? now - *prevTime_ : 0.0;
    const Switches switches = switches_ ? switches_() : Switches{};
    if (switches.collectGPU)
        gpuTimes();
    else
        gpu_.clear();

    std::vector<ProcInfo> out;
    measured_ = false;
    if (!source_->read(own_, switches.showSystem ? &refused_ : nullptr)) {
        // Everything previous stays as it was, time stamp included: the counters of the
        // next good call are then compared over the interval they really span.
        return out;
    }
    out.reserve(own_.size() + 16);

    current_.clear();
    for (const platform::ProcCounters& c : own_) {
        if (c.pid < 1) continue;  // the kernel task is never listed
        current_.add(c.pid,
                     {c.startTime, c.cpuTicks, c.diskReadBytes, c.diskWriteBytes, c.wakeups, c.energyNJ});

        ProcInfo p{.pid = c.pid, .startTime = c.startTime, .name = c.name, .memBytes = c.memBytes};
        const Prev* prev = dt > 0 ? prev_.find(c.pid) : nullptr;
        // A different start time means a new process under a reused pid: no baseline yet.
        if (prev && prev->startTime != c.startTime) prev = nullptr;
        double wake = 0;
        if (dt > 0 && prev) {
            p.cpu = cpuPercent(c.cpuTicks, prev->cpu, dt);
            p.diskReadBps = rate(c.diskReadBytes, &prev->diskRead, dt);
            p.diskWriteBps = rate(c.diskWriteBytes, &prev->diskWrite, dt);
            wake = rate(c.wakeups, &prev->wakeups, dt) * 0.05;
        }
        if (c.energyNJ) {
            if (prev && prev->energy && *c.energyNJ >= *prev->energy)
                p.energyImpact =
                    std::min(static_cast<double>(*c.energyNJ - *prev->energy) / 1e6 / dt / 100.0, 999.0);
        } else {
            p.energyImpact = p.cpu + std::min(wake, 40.0);
        }
        if (dt > 0) {
            const uint64_t* g = gpu_.find(c.pid);
            const uint64_t* pg = prevGPU_.find(c.pid);
            if (g && pg && *g >= *pg)
                p.gpuPercent = std::min(static_cast<double>(*g - *pg) / (dt * 1e9) * 100.0, 100.0);
        }
        out.push_back(std::move(p));
    }
    current_.finish();
    prev_.swap(current_);

    if (switches.showSystem) {
        currentRefused_.clear();
        for (const platform::RefusedProc& r : refused_) {
            if (r.pid < 1 || prev_.find(r.pid)) continue;  // already listed with its own counters
            double cpu = 0;
            if (r.cpuPercent) {
                cpu = *r.cpuPercent;
            } else {
                currentRefused_.add(r.pid, {r.startTime, r.cpuTicks});
                const PrevRefused* prev = dt > 0 ? prevRefused_.find(r.pid) : nullptr;
                if (prev && prev->startTime == r.startTime) cpu = cpuPercent(r.cpuTicks, prev->cpu, dt);
            }
            if (!(cpu > kSystemRowMinCPU)) continue;
            out.push_back(
                {.pid = r.pid, .startTime = r.startTime, .name = r.name, .cpu = cpu, .memBytes = r.residentBytes, .isSystem = true});
        }
        currentRefused_.finish();
        prevRefused_.swap(currentRefused_);
    } else {
        // Their baseline would be older than the next call's interval.
        prevRefused_.clear();
    }

    std::stable_sort(out.begin(), out.end(),
                     [](const ProcInfo& a, const ProcInfo& b) { return a.cpu > b.cpu; });
    prevGPU_.swap(gpu_);
    prevTime_ = now;
    measured_ = dt > 0;
    return out;
}

void ProcessSampler::prime() {
    // Without a time stamp the pass measures nothing, and should it fail to list the
    // processes, the next call starts over instead of measuring across the whole pause.
    prevTime_.reset();
    sample();
}

}  // namespace velmora
