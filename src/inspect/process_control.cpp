#include "inspect/process_control.h"

#include <csignal>
#include <unordered_set>

#include <unistd.h>

namespace velmora {

int signalOf(ProcessAction action) {
    switch (action) {
        case ProcessAction::quit:
            return SIGTERM;
        case ProcessAction::forceQuit:
            return SIGKILL;
        case ProcessAction::suspend:
            return SIGSTOP;
        case ProcessAction::resume:
            return SIGCONT;
    }
    return SIGTERM;
}

void ActionResult::add(int32_t pid, ActionOutcome outcome) {
    switch (outcome) {
        case ActionOutcome::done:
            done.push_back(pid);
            return;
        case ActionOutcome::ended:
            ended.push_back(pid);
            return;
        case ActionOutcome::refused:
            refused.push_back(pid);
            return;
    }
}

ProcessControl::ProcessControl() : ProcessControl(runningSystem(), static_cast<int32_t>(::getpid())) {}

ProcessControl::ProcessControl(std::shared_ptr<System> system, int32_t ownPid)
    : system_(std::move(system)), ownPid_(ownPid) {}

ProcessRef ProcessControl::stamp(int32_t pid, uint64_t knownStart) const {
    if (knownStart != 0 || pid < 1) return {pid, knownStart};
    return {pid, system_->startTime(pid).value_or(0)};
}

ActionResult ProcessControl::apply(const std::vector<ProcessRef>& targets, ProcessAction action) const {
    return applySignal(targets, signalOf(action));
}

ActionResult ProcessControl::applySignal(const std::vector<ProcessRef>& targets, int signal) const {
    ActionResult result;
    for (const ProcessRef& ref : targets) {
        if (!mayActOn(ref.pid)) {
            result.add(ref.pid, ActionOutcome::refused);
            continue;
        }
        // Without a stamp nothing tells this process from a newcomer: it is not signalled.
        if (ref.startTime == 0) {
            result.add(ref.pid, ActionOutcome::refused);
            continue;
        }
        result.add(ref.pid, system_->signal(ref, signal));
    }
    return result;
}

std::vector<ProcessRef> ProcessControl::tree(const ProcessRef& root) const {
    if (!mayActOn(root.pid) || root.startTime == 0) return {};
    if (system_->startTime(root.pid) != root.startTime) return {};
    // Iterative, so a pathologically deep chain of processes cannot exhaust the stack.
    struct Frame {
        ProcessRef ref;
        std::vector<int32_t> children;
        size_t next = 0;
    };
    std::vector<ProcessRef> order;
    std::unordered_set<int32_t> visited;
    std::vector<Frame> stack;
    auto enter = [&](const ProcessRef& ref) {
        if (visited.insert(ref.pid).second) stack.push_back({ref, system_->childPids(ref.pid)});
    };
    enter(root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.children.size()) {
            const int32_t child = top.children[top.next++];
            if (child < 2 || visited.contains(child)) continue;
            // A child that ended between the listing and now has no stamp and is left out.
            const std::optional<uint64_t> start = system_->startTime(child);
            if (start) enter({child, *start});  // may reallocate the stack: `top` is not used after
        } else {
            if (top.ref.pid != ownPid_) order.push_back(top.ref);
            stack.pop_back();
        }
    }
    return order;
}

ActionOutcome ProcessControl::setPriority(const ProcessRef& ref, int value) const {
    if (ref.pid < 2 || ref.startTime == 0) return ActionOutcome::refused;
    return system_->setPriority(ref, value);
}

}  // namespace velmora
