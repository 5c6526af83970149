// Acting on a process on Apple systems: its start stamp, from the usage record the sampler
// keys its rows by, is compared immediately before kill() or setpriority().
#include "inspect/process_control.h"

#include "platform/process_facts.h"

#include <cerrno>
#include <csignal>

#include <libproc.h>
#include <sys/resource.h>

namespace velmora {

namespace {

std::optional<uint64_t> usageStart(int32_t pid) {
    rusage_info_v2 info{};
    if (proc_pid_rusage(pid, RUSAGE_INFO_V2, reinterpret_cast<rusage_info_t*>(&info)) != 0) return std::nullopt;
    return info.ri_proc_start_abstime;
}

ActionOutcome failure(int error) {
    return error == ESRCH ? ActionOutcome::ended : ActionOutcome::refused;
}

// Nothing when `ref` still names its process; else how the action ends without being tried.
// A record the system refuses (another user's process) proves nothing, and the process is
// left alone unless it is plainly gone.
std::optional<ActionOutcome> disproof(const ProcessRef& ref) {
    const std::optional<uint64_t> start = usageStart(ref.pid);
    if (!start) return ::kill(static_cast<pid_t>(ref.pid), 0) != 0 && errno == ESRCH ? ActionOutcome::ended
                                                                                       : ActionOutcome::refused;
    if (*start != ref.startTime) return ActionOutcome::ended;
    return std::nullopt;
}

class MacProcesses : public ProcessControl::System {
  public:
    std::vector<int32_t> childPids(int32_t pid) override { return platform::systemProcessFacts().childPids(pid); }

    std::optional<uint64_t> startTime(int32_t pid) override { return usageStart(pid); }

    ActionOutcome signal(const ProcessRef& ref, int signal) override {
        if (const auto outcome = disproof(ref)) return *outcome;
        if (::kill(static_cast<pid_t>(ref.pid), signal) == 0) return ActionOutcome::done;
        return failure(errno);
    }

    ActionOutcome setPriority(const ProcessRef& ref, int value) override {
        if (const auto outcome = disproof(ref)) return *outcome;
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(ref.pid), value) == 0) return ActionOutcome::done;
        return failure(errno);
    }
};

}  // namespace

std::shared_ptr<ProcessControl::System> ProcessControl::runningSystem() {
    static const std::shared_ptr<System> system = std::make_shared<MacProcesses>();
    return system;
}

}  // namespace velmora
