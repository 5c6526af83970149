#pragma once

#include "inspect/process_control.h"

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace velmora::test {

// A made-up process table behind the control's system seam. A process is proven when its
// pid holds the stamp the request carries; every signal and priority change that got through
// is recorded.
class FakeProcesses : public ProcessControl::System {
  public:
    struct Proc {
        uint64_t start = 0;
        std::vector<int32_t> children;
    };
    std::map<int32_t, Proc> procs;
    std::set<int32_t> refusing;  // the system says no (another user's process)
    std::vector<std::pair<int32_t, int>> sent;
    std::vector<std::pair<int32_t, int>> reniced;
    // Runs once before each proof, so a test can let a process end or be replaced then.
    std::function<void(int32_t pid)> beforeProof;
    // What a proven priority change does; null: it is recorded and succeeds.
    std::function<ActionOutcome(int32_t pid, int value)> renice;

    void add(int32_t pid, uint64_t start, std::vector<int32_t> children = {}) {
        procs[pid] = {start, std::move(children)};
    }
    // `pid` now belongs to a new process with another stamp and no children.
    void reuse(int32_t pid) { procs[pid] = {procs[pid].start + 1000, {}}; }

    std::vector<int32_t> childPids(int32_t pid) override {
        const auto it = procs.find(pid);
        return it == procs.end() ? std::vector<int32_t>{} : it->second.children;
    }
    std::optional<uint64_t> startTime(int32_t pid) override {
        const auto it = procs.find(pid);
        if (it == procs.end()) return std::nullopt;
        return it->second.start;
    }
    ActionOutcome signal(const ProcessRef& ref, int signal) override {
        if (const auto outcome = prove(ref)) return *outcome;
        sent.emplace_back(ref.pid, signal);
        return ActionOutcome::done;
    }
    ActionOutcome setPriority(const ProcessRef& ref, int value) override {
        if (const auto outcome = prove(ref)) return *outcome;
        reniced.emplace_back(ref.pid, value);
        return renice ? renice(ref.pid, value) : ActionOutcome::done;
    }

  private:
    std::optional<ActionOutcome> prove(const ProcessRef& ref) {
        if (beforeProof) beforeProof(ref.pid);
        if (startTime(ref.pid) != ref.startTime) return ActionOutcome::ended;
        if (refusing.contains(ref.pid)) return ActionOutcome::refused;
        return std::nullopt;
    }
};

// Velmora's own pid in the fakes.
constexpr int32_t kOwnPid = 4242;

inline std::shared_ptr<ProcessControl> controlOver(const std::shared_ptr<FakeProcesses>& fake) {
    return std::make_shared<ProcessControl>(fake, kOwnPid);
}

}  // namespace velmora::test
