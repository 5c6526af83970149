// Acting on a process through a pidfd: the descriptor is opened first, the start stamp read
// after it, so a stamp that matches proves the descriptor holds the process the user chose.
// Signals then go through the descriptor, which can never reach a later process.
#include "inspect/process_control.h"

#include "platform/linux/proc_pid.h"
#include "platform/process_facts.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace velmora {

namespace {

int openPidfd(int32_t pid) {
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0u));
}

int sendThrough(int pidfd, int signal) {
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0u));
}

// The process's state and start stamp from one small read of its stat file.
std::optional<platform::PidStat> readStat(int32_t pid) {
    std::array<char, 32> path{};
    std::snprintf(path.data(), path.size(), "/proc/%d/stat", pid);
    const int fd = ::open(path.data(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::array<char, 2048> buf{};
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    ::close(fd);
    platform::PidStat st;
    if (n <= 0 || !platform::parsePidStat(std::string_view(buf.data(), static_cast<size_t>(n)), st))
        return std::nullopt;
    return st;
}

class Pidfd {
  public:
    explicit Pidfd(int32_t pid) : fd_(openPidfd(pid)), error_(fd_ < 0 ? errno : 0) {}
    ~Pidfd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Pidfd(const Pidfd&) = delete;
    Pidfd& operator=(const Pidfd&) = delete;
    int fd() const { return fd_; }
    int error() const { return error_; }
    // Whether the process has exited since the descriptor was opened.
    bool exited() const {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) != 0;
    }

  private:
    int fd_;
    int error_;
};

class LinuxProcesses : public ProcessControl::System {
  public:
    std::vector<int32_t> childPids(int32_t pid) override { return platform::systemProcessFacts().childPids(pid); }

    std::optional<uint64_t> startTime(int32_t pid) override {
        const auto st = readStat(pid);
        if (!st) return std::nullopt;
        return st->starttime;
    }

    ActionOutcome signal(const ProcessRef& ref, int signal) override {
        Pidfd pidfd(ref.pid);
        if (pidfd.fd() < 0) return pidfd.error() == ENOSYS ? signalWithoutPidfd(ref, signal) : failure(pidfd.error());
        if (!same(ref)) return ActionOutcome::ended;
        if (sendThrough(pidfd.fd(), signal) == 0) return ActionOutcome::done;
        return failure(errno);
    }

    ActionOutcome setPriority(const ProcessRef& ref, int value) override {
        // There is no priority call that takes a pidfd; the open descriptor tells whether the
        // process ended around the change, which is then reported as ended, not as changed.
        Pidfd pidfd(ref.pid);
        if (pidfd.fd() < 0 && pidfd.error() != ENOSYS) return failure(pidfd.error());
        if (!same(ref)) return ActionOutcome::ended;
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(ref.pid), value) != 0) return failure(errno);
        if (pidfd.fd() >= 0 && pidfd.exited()) return ActionOutcome::ended;
        return ActionOutcome::done;
    }

  private:
    // The pid still holds the process of the stamp, and it has not exited (a zombie only
    // waits for its parent).
    static bool same(const ProcessRef& ref) {
        const auto st = readStat(ref.pid);
        return st && st->starttime == ref.startTime && st->state != 'Z' && st->state != 'X';
    }

    static ActionOutcome failure(int error) { return error == ESRCH ? ActionOutcome::ended : ActionOutcome::refused; }

    // Kernels before 5.3 have no pidfd_open: the stamp is compared right before kill(), which
    // leaves only the instant between the two calls.
    static ActionOutcome signalWithoutPidfd(const ProcessRef& ref, int signal) {
        if (!same(ref)) return ActionOutcome::ended;
        if (::kill(static_cast<pid_t>(ref.pid), signal) == 0) return ActionOutcome::done;
        return failure(errno);
    }
};

}  // namespace

std::shared_ptr<ProcessControl::System> ProcessControl::runningSystem() {
    static const std::shared_ptr<System> system = std::make_shared<LinuxProcesses>();
    return system;
}

}  // namespace velmora
