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

    // Where start times are on a clock we can read, a process counts as started within the
    // interval only if it is no older than the interval (plus a tick of rounding).
    const std::optional<uint64_t> startNow = source_->startClockNow();
    const auto startedWithin = [&](uint64_t start) {
        if (start == 0 || start <= prevNewestStart_) return false;
        if (!startNow) return true;
        if (start > *startNow) return false;
        const double age = static_cast<double>(*startNow - start) * timeBase_.numer / timeBase_.denom / 1e9;
        return age <= dt + static_cast<double>(timeBase_.numer) / timeBase_.denom / 1e9;
    };
    // Start stamps count from boot; the wall clock now turns them into start times.
    const int64_t wallNowSec =
        std::chrono::duration_cast<std::chrono::seconds>(WallClock::now().time_since_epoch()).count();
    const auto startedSec = [&](uint64_t start) -> int64_t {
        if (!startNow || start == 0 || start > *startNow) return 0;
        return wallNowSec - static_cast<int64_t>(static_cast<double>(*startNow - start) * timeBase_.numer /
                                                 timeBase_.denom / 1e9);
    };
    current_.clear();
    childDelta_.clear();
    uint64_t newestStart = 0;
    for (const platform::ProcCounters& c : own_) {
        if (c.pid < 1) continue;  // the kernel task is never listed
        current_.add(c.pid, {c.startTime, c.cpuTicks, c.childTicks, c.ppid, c.diskReadBytes, c.diskWriteBytes,
                             c.wakeups, c.energyNJ});
        newestStart = std::max(newestStart, c.startTime);

        ProcInfo p{.pid = c.pid, .startTime = c.startTime, .name = c.name, .memBytes = c.memBytes};
        p.ppid = c.ppid;
        p.threads = c.threads;
        p.nice = c.nice;
        p.state = c.state;
        p.diskReadTotal = c.diskReadBytes;
        p.diskWriteTotal = c.diskWriteBytes;
        p.startedSec = startedSec(c.startTime);
        const Prev* prev = dt > 0 ? prev_.find(c.pid) : nullptr;
        // A different start time means a new process under a reused pid: no baseline yet.
        if (prev && prev->startTime != c.startTime) prev = nullptr;
        double wake = 0;
        if (dt > 0 && prev) {
            p.cpu = cpuPercent(c.cpuTicks, prev->cpu, dt);
            p.diskReadBps = rate(c.diskReadBytes, &prev->diskRead, dt);
            p.diskWriteBps = rate(c.diskWriteBytes, &prev->diskWrite, dt);
            wake = rate(c.wakeups, &prev->wakeups, dt) * 0.05;
        } else if (dt > 0 && startedWithin(c.startTime)) {
            // Started within the interval: its counters began at zero then (they count since
            // the process was created), so all of them are this interval's. A short job
            // (a build step, a copy) is charged in full instead of reading as idle.
            p.cpu = cpuPercent(c.cpuTicks, 0, dt);
            p.diskReadBps = static_cast<double>(c.diskReadBytes) / dt;
            p.diskWriteBps = static_cast<double>(c.diskWriteBytes) / dt;
            wake = static_cast<double>(c.wakeups) / dt * 0.05;
        }
        childDelta_.push_back(prev && c.childTicks >= prev->childCpu ? c.childTicks - prev->childCpu : 0);
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

    // Children that ended within the interval reach their parent's reaped-children time. What
    // their own rows showed before they ended is taken off, so only the unseen part (children
    // that lived less than an interval, and the rest of the seen ones' last interval) is
    // credited to the parent.
    endedChildren_.clear();
    if (dt > 0) {
        for (const auto& [pid, was] : prev_) {
            const Prev* now = current_.find(pid);
            if (now && now->startTime == was.startTime) continue;
            endedChildren_.add(was.ppid, was.cpu + was.childCpu);
        }
        endedChildren_.finish([](uint64_t& sum, uint64_t more) { sum += more; });
        for (size_t i = 0; i < childDelta_.size() && i < out.size(); ++i) {
            if (childDelta_[i] == 0) continue;
            const uint64_t* shown = endedChildren_.find(out[i].pid);
            const uint64_t unseen = shown ? (childDelta_[i] > *shown ? childDelta_[i] - *shown : 0) : childDelta_[i];
            out[i].childrenCpu = cpuPercent(unseen, 0, dt);
        }
    }
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
            ProcInfo& row = out.emplace_back(ProcInfo{
                .pid = r.pid, .startTime = r.startTime, .name = r.name, .cpu = cpu, .memBytes = r.residentBytes, .isSystem = true});
            row.ppid = r.ppid;
            row.threads = r.threads;
            row.nice = r.nice;
            row.state = r.state;
            row.startedSec = startedSec(r.startTime);
        }
        currentRefused_.finish();
        prevRefused_.swap(currentRefused_);
    } else {
        // Their baseline would be older than the next call's interval.
        prevRefused_.clear();
    }

    std::stable_sort(out.begin(), out.end(),
                     [](const ProcInfo& a, const ProcInfo& b) { return a.cpu > b.cpu; });
    if (switches.showSystem)
        for (const platform::RefusedProc& r : refused_)
            newestStart = std::max(newestStart, r.startTime);
    prevNewestStart_ = newestStart;
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
