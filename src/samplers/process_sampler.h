#pragma once

#include "core/snapshot.h"
#include "platform/process.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace velmora {

// Values keyed by pid in a vector sorted by pid: refilled every tick without allocating,
// looked up by binary search.
template <typename T>
class PidMap {
  public:
    void clear() { items_.clear(); }
    void add(int32_t pid, const T& value) { items_.push_back({pid, value}); }
    // Orders the entries after the last add(); `merge(kept, dropped)` folds each later
    // entry of a pid into the first one.
    template <typename Merge>
    void finish(Merge merge) {
        const auto byPid = [](const auto& a, const auto& b) { return a.first < b.first; };
        if (!std::is_sorted(items_.begin(), items_.end(), byPid))
            std::stable_sort(items_.begin(), items_.end(), byPid);
        if (items_.empty()) return;
        size_t kept = 0;
        for (size_t i = 1; i < items_.size(); ++i) {
            if (items_[i].first == items_[kept].first)
                merge(items_[kept].second, items_[i].second);
            else
                items_[++kept] = items_[i];
        }
        items_.resize(kept + 1);
    }
    void finish() {
        finish([](T&, const T&) {});
    }
    const T* find(int32_t pid) const {
        const auto it = std::lower_bound(items_.begin(), items_.end(), pid,
                                         [](const auto& item, int32_t p) { return item.first < p; });
        return it != items_.end() && it->first == pid ? &it->second : nullptr;
    }
    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    void swap(PidMap& other) noexcept { items_.swap(other.items_); }

  private:
    std::vector<std::pair<int32_t, T>> items_;
};

// The running processes with their resource use since the previous call: CPU, memory,
// disk rates, an energy figure and a GPU share. The engine calls sample() on its sampler
// thread only while a process view is visible.
class ProcessSampler {
  public:
    struct Switches {
        bool collectGPU = true;
        bool showSystem = true;
    };
    using SwitchesFn = std::function<Switches()>;
    // Fills parallel arrays with accumulated GPU nanoseconds per client; -1 on failure.
    using GpuWalk = std::function<int(int32_t* pids, uint64_t* times, int capacity)>;
    // Monotonic seconds.
    using Clock = std::function<double()>;

    static constexpr int kGpuCapacity = 512;
    // Refused processes at or below this CPU share are left out.
    static constexpr double kSystemRowMinCPU = 0.05;

    // The machine's processes, switched by `switches`.
    explicit ProcessSampler(SwitchesFn switches);
    ProcessSampler(std::unique_ptr<platform::ProcessSource> source, SwitchesFn switches, GpuWalk gpuWalk,
                   Clock clock = {});

    // One pass, sorted by `cpu`, highest first. Sampler thread only.
    std::vector<ProcInfo> sample();
    // Whether the last sample() measured its rates over an interval (it had a baseline and
    // could list the processes); false for a first call, whose rates all read 0.
    bool lastSampleMeasured() const { return measured_; }
    // Takes a fresh baseline: the next sample() measures from now, not from whenever the
    // last call was. Costs one pass, whose result is dropped.
    void prime();
    // Accumulated GPU nanoseconds per pid, the clients of one process summed.
    const PidMap<uint64_t>& gpuTimes();
    QString processName(int32_t pid);
    // Called on ticks without a process view: the source need not hold files open then.
    void releaseKeptFiles() {
        if (source_) source_->releaseKeptFiles();
    }

  private:
    struct Prev {
        uint64_t startTime = 0;
        uint64_t cpu = 0;
        uint64_t childCpu = 0;
        int32_t ppid = 0;
        uint64_t diskRead = 0;
        uint64_t diskWrite = 0;
        uint64_t wakeups = 0;
        std::optional<uint64_t> energy;
    };
    struct PrevRefused {
        uint64_t startTime = 0;
        uint64_t cpu = 0;
    };

    double cpuPercent(uint64_t ticks, uint64_t prevTicks, double dt) const;

    std::unique_ptr<platform::ProcessSource> source_;
    SwitchesFn switches_;
    GpuWalk gpuWalk_;
    Clock clock_;
    platform::TimeBase timeBase_;

    PidMap<Prev> prev_, current_;
    PidMap<PrevRefused> prevRefused_, currentRefused_;
    PidMap<uint64_t> gpu_, prevGPU_;
    std::optional<double> prevTime_;
    bool measured_ = false;
    // The latest start time among the processes of the previous pass: a process that
    // started later began within the interval, and all its counters belong to it.
    uint64_t prevNewestStart_ = 0;

    // Reused every call.
    std::vector<platform::ProcCounters> own_;
    std::vector<platform::RefusedProc> refused_;
    std::vector<uint64_t> childDelta_;  // per listed process: its children's CPU ticks this interval
    PidMap<uint64_t> endedChildren_;    // per parent: the ticks its ended children already showed
    std::array<int32_t, kGpuCapacity> gpuPids_{};
    std::array<uint64_t, kGpuCapacity> gpuTimes_{};
};

}  // namespace velmora
