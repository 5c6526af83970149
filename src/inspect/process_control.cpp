#include "inspect/process_control.h"

#include "platform/process_facts.h"

#include <csignal>
#include <unordered_set>

namespace velmora {

ProcessControl::ProcessControl()
    : ProcessControl([](int32_t pid) { return platform::systemProcessFacts().childPids(pid); },
                     [](int32_t pid, int signal) { return ::kill(static_cast<pid_t>(pid), signal) == 0; }) {}

ProcessControl::ProcessControl(ChildLister children, Signaller signaller)
    : children_(std::move(children)), signaller_(std::move(signaller)) {}

TerminateResult ProcessControl::terminate(const std::vector<int32_t>& pids, bool force) const {
    TerminateResult r;
    const int signal = force ? SIGKILL : SIGTERM;
    for (int32_t pid : pids) {
        if (pid >= 2 && signaller_(pid, signal))
            r.ok.push_back(pid);
        else
            r.failed.push_back(pid);
    }
    return r;
}

std::vector<int32_t> ProcessControl::childPids(int32_t pid) const {
    std::vector<int32_t> out;
    for (int32_t child : children_(pid))
        if (child >= 2) out.push_back(child);
    return out;
}

std::vector<int32_t> ProcessControl::treeOrder(int32_t root) const {
    // Iterative, so a pathologically deep chain of processes cannot exhaust the stack.
    struct Frame {
        int32_t pid;
        std::vector<int32_t> children;
        size_t next = 0;
    };
    std::vector<int32_t> order;
    std::unordered_set<int32_t> visited;
    std::vector<Frame> stack;
    auto enter = [&](int32_t pid) {
        if (visited.insert(pid).second) stack.push_back({pid, childPids(pid)});
    };
    enter(root);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.children.size()) {
            const int32_t child = top.children[top.next++];
            enter(child);  // may reallocate the stack: `top` is not used after this
        } else {
            order.push_back(top.pid);
            stack.pop_back();
        }
    }
    return order;
}

TerminateResult ProcessControl::terminateTree(int32_t pid, bool force) const {
    if (pid < 2) return {{}, {pid}};
    return terminate(treeOrder(pid), force);
}

void ProcessControl::suspend(int32_t pid) const {
    if (pid >= 2) signaller_(pid, SIGSTOP);
}

void ProcessControl::resume(int32_t pid) const {
    if (pid >= 2) signaller_(pid, SIGCONT);
}

}  // namespace velmora
