#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

// One process as the user chose it: its pid and the start stamp it had then, so a later
// process under the same pid is never taken for it.
struct ProcessRef {
    int32_t pid = 0;
    uint64_t startTime = 0;  // the system's own units (ProcInfo::startTime); 0 when unknown
    bool operator==(const ProcessRef&) const = default;
};

// What the user can do to a process through the control.
enum class ProcessAction { quit, forceQuit, suspend, resume };
int signalOf(ProcessAction action);

// How one action on one process ended: done; the process had already ended (gone, or its
// pid now belongs to another process); or refused (by the system, or by Velmora's own rules).
enum class ActionOutcome { done, ended, refused };

struct ActionResult {
    std::vector<int32_t> done;
    std::vector<int32_t> ended;
    std::vector<int32_t> refused;
    void add(int32_t pid, ActionOutcome outcome);
};

// Signals and priority changes, each proven to reach the process the user chose. Nothing
// waits for a process to exit, nothing retries, and a quit is never escalated to a forced one.
class ProcessControl {
  public:
    // What the control needs of the system. The running system's implementation proves a
    // process right before acting on it (a pidfd on Linux, the usage record's start stamp on
    // Apple systems); tests put in a fake.
    class System {
      public:
        virtual ~System() = default;
        // Direct children with pids of 2 or more, in the order the system reports them.
        virtual std::vector<int32_t> childPids(int32_t pid) = 0;
        // The stamp `pid` has now; nothing when no such process exists.
        virtual std::optional<uint64_t> startTime(int32_t pid) = 0;
        // Sends `signal` when `ref` still names the process it was taken from.
        virtual ActionOutcome signal(const ProcessRef& ref, int signal) = 0;
        // Sets the nice value when `ref` still names the process it was taken from.
        virtual ActionOutcome setPriority(const ProcessRef& ref, int value) = 0;
    };
    static std::shared_ptr<System> runningSystem();

    // The running system, with Velmora's own pid.
    ProcessControl();
    ProcessControl(std::shared_ptr<System> system, int32_t ownPid);

    // Pids below 2 (the whole system, or init) and Velmora itself are never acted on: a
    // stopped Velmora could not be resumed from its own window.
    bool mayActOn(int32_t pid) const { return pid >= 2 && pid != ownPid_; }
    // `pid` with the stamp the sampler saw; one it did not know (0) is read now.
    ProcessRef stamp(int32_t pid, uint64_t knownStart = 0) const;

    // Each target in order, each proven right before it is signalled.
    ActionResult apply(const std::vector<ProcessRef>& targets, ProcessAction action) const;
    // The same with a signal of the user's choice.
    ActionResult applySignal(const std::vector<ProcessRef>& targets, int signal) const;
    // The tree under `root`, each member stamped once, now: every process after all of its
    // descendants, `root` last. Empty when `root` no longer names its process or may not be
    // acted on; Velmora itself is left out. Depth first, children in the order listed, each
    // process once even when listings overlap.
    std::vector<ProcessRef> tree(const ProcessRef& root) const;
    // The nice value, clamped by the caller; pids below 2 are refused.
    ActionOutcome setPriority(const ProcessRef& ref, int value) const;

    int32_t ownPid() const { return ownPid_; }

  private:
    std::shared_ptr<System> system_;
    int32_t ownPid_;
};

}  // namespace velmora
