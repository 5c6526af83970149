#pragma once

#include "inspect/kill_advisor.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace velmora {

// Signals to processes. Nothing waits for a process to exit, nothing retries, and a
// normal quit is never escalated to a forced one.
class ProcessControl {
  public:
    using ChildLister = std::function<std::vector<int32_t>(int32_t pid)>;
    // Sends `signal` to `pid`; true when the system accepted it.
    using Signaller = std::function<bool(int32_t pid, int signal)>;

    // The running system.
    ProcessControl();
    ProcessControl(ChildLister children, Signaller signaller);

    // SIGTERM, or SIGKILL when forcing, to each pid in order. Pids below 2 always fail.
    TerminateResult terminate(const std::vector<int32_t>& pids, bool force) const;
    // The whole tree under `pid`, every process after all of its descendants and `pid`
    // last. A root below 2 fails without touching anything: its tree is the whole system.
    TerminateResult terminateTree(int32_t pid, bool force) const;
    // The order terminateTree signals in: depth first, children in the order listed, each
    // process once even when listings overlap.
    std::vector<int32_t> treeOrder(int32_t root) const;
    std::vector<int32_t> childPids(int32_t pid) const;

    // SIGSTOP and SIGCONT; pids below 2 are left alone and the outcome is not reported.
    void suspend(int32_t pid) const;
    void resume(int32_t pid) const;

  private:
    ChildLister children_;
    Signaller signaller_;
};

}  // namespace velmora
