#include "platform/linux/process_linux.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cerrno>
#include <charconv>
#include <climits>
#include <utility>

namespace velmora::platform {

namespace {

constexpr uint32_t kPfKthread = 0x00200000;  // PF_KTHREAD: not exported to user space headers
constexpr size_t kMaxEntry = 1 << 20;

// "<pid>/<leaf>", NUL-terminated.
void entryPath(char (&out)[48], int32_t pid, const char* leaf) {
    auto [p, ec] = std::to_chars(out, out + 16, pid);
    *p++ = '/';
    while (*leaf && p < out + sizeof out - 1)
        *p++ = *leaf++;
    *p = '\0';
}

bool nextUInt(std::string_view& rest, uint64_t& out) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.remove_prefix(1);
    const auto [p, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), out);
    if (ec != std::errc()) return false;
    rest.remove_prefix(static_cast<size_t>(p - rest.data()));
    return true;
}

// The value of a "key: value" line of `text`, for a key at the start of a line.
bool keyValue(std::string_view text, std::string_view key, uint64_t& out) {
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == ':') {
            line.remove_prefix(key.size() + 1);
            return nextUInt(line, out);
        }
        pos = end + 1;
    }
    return false;
}

}  // namespace

std::unique_ptr<ProcessSource> makeProcessSource() {
    return std::make_unique<LinuxProcessSource>();
}

namespace {

constexpr std::array<const char*, 4> kLeaves = {"stat", "io", "statm", "schedstat"};
constexpr rlim_t kWantedFileLimit = 16384;

// Half the open-file limit, after raising the soft limit toward the hard one: the rest of
// the program keeps the other half.
size_t descriptorBudget() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    const rlim_t wanted =
        limit.rlim_max == RLIM_INFINITY ? kWantedFileLimit : std::min(limit.rlim_max, kWantedFileLimit);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = wanted;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    const rlim_t soft = limit.rlim_cur == RLIM_INFINITY ? kWantedFileLimit : limit.rlim_cur;
    return static_cast<size_t>(soft / 2);
}

}  // namespace

LinuxProcessSource::LinuxProcessSource(std::string procRoot)
    : root_(std::move(procRoot)), budget_(descriptorBudget()), buf_(4096) {
    procFd_ = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd_ >= 0) {
        const int listFd = ::fcntl(procFd_, F_DUPFD_CLOEXEC, 0);
        if (listFd >= 0 && !(dir_ = ::fdopendir(listFd))) ::close(listFd);
        // Kernels built without per-task I/O accounting or scheduler statistics lack
        // these files for every process; that is not a sign of a vanished one.
        ioAccounting_ = ::faccessat(procFd_, "self/io", F_OK, 0) == 0;
        schedstat_ = ::faccessat(procFd_, "self/schedstat", F_OK, 0) == 0;
    }
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page > 0) pageSize_ = static_cast<uint64_t>(page);
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (ticks > 0) clockTicks_ = static_cast<uint32_t>(ticks);
}

LinuxProcessSource::~LinuxProcessSource() {
    for (auto& [pid, state] : states_)
        closeAll(state);
    if (dir_) ::closedir(dir_);
    if (procFd_ >= 0) ::close(procFd_);
}

TimeBase LinuxProcessSource::timeBase() {
    return {1000000000u, clockTicks_};
}

int LinuxProcessSource::openEntry(const char* relative) {
    const int fd = ::openat(procFd_, relative, O_RDONLY | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

std::optional<uid_t> LinuxProcessSource::ownerOf(int32_t pid) {
    char name[16];
    *std::to_chars(name, name + sizeof name - 1, pid).ptr = '\0';
    struct stat info;
    if (::fstatat(procFd_, name, &info, 0) != 0) return std::nullopt;
    return info.st_uid;
}

int LinuxProcessSource::readFd(int fd, std::string_view& text) {
    text = {};
    for (;;) {
        const ssize_t n = ::pread(fd, buf_.data(), buf_.size(), 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        // A proc file hands over all it has in one read; a full buffer may mean more.
        if (static_cast<size_t>(n) < buf_.size() || buf_.size() >= kMaxEntry) {
            text = std::string_view(buf_.data(), static_cast<size_t>(n));
            return 0;
        }
        buf_.resize(buf_.size() * 2);
    }
}

void LinuxProcessSource::closeSlot(PidState& state, Slot slot) {
    int& fd = state.fd[slot];
    if (fd < 0) return;
    ::close(fd);
    fd = -1;
    --kept_;
}

void LinuxProcessSource::releaseKeptFiles() {
    if (kept_ == 0) return;
    for (auto& [pid, state] : states_)
        closeAll(state);
}

void LinuxProcessSource::closeAll(PidState& state) {
    for (int slot = 0; slot < kSlots; ++slot)
        closeSlot(state, static_cast<Slot>(slot));
}

int LinuxProcessSource::readSlot(int32_t pid, PidState& state, Slot slot, std::string_view& text) {
    if (state.fd[slot] >= 0) {
        const int error = readFd(state.fd[slot], text);
        if (error == 0) return 0;
        closeSlot(state, slot);
        if (error != ESRCH) return error;
        // The process behind the open file is gone; the pid may name a new one.
        closeAll(state);
        state.started = false;
        state.forgetProcess();
    }
    char path[48];
    entryPath(path, pid, kLeaves[slot]);
    const int fd = openEntry(path);
    if (fd < 0) return -fd;
    const int error = readFd(fd, text);
    if (error == 0 && kept_ < budget_) {
        state.fd[slot] = fd;
        ++kept_;
    } else {
        ::close(fd);
    }
    return error;
}

bool LinuxProcessSource::listPids() {
    pids_.clear();
    if (!dir_) return false;
    ::rewinddir(dir_);
    while (const dirent* e = ::readdir(dir_)) {
        const char* name = e->d_name;
        if (*name < '1' || *name > '9') continue;
        int32_t pid = 0;
        const char* end = name + std::char_traits<char>::length(name);
        const auto [p, ec] = std::from_chars(name, end, pid);
        if (ec == std::errc() && p == end && pid > 0) pids_.push_back(pid);
    }
    // The kernel lists in pid order already; fixture trees and other file systems may not.
    if (!std::is_sorted(pids_.begin(), pids_.end())) std::sort(pids_.begin(), pids_.end());
    return !pids_.empty();
}

bool LinuxProcessSource::read(std::vector<ProcCounters>& own, std::vector<RefusedProc>* refused) {
    own.clear();
    if (refused) refused->clear();
    outcomes_.fill(0);
    if (!listPids()) return false;
    if (++generation_ == 0) generation_ = 1;
    euid_ = ::geteuid();

    for (const int32_t pid : pids_) {
        PidState& state = states_[pid];
        state.seen = generation_;
        ++outcomes_[static_cast<size_t>(readPid(pid, state, own, refused))];
    }

    if (states_.size() > pids_.size()) {
        for (auto it = states_.begin(); it != states_.end();) {
            if (it->second.seen == generation_) {
                ++it;
                continue;
            }
            closeAll(it->second);
            it = states_.erase(it);
        }
    }
    names_.sweep();
    return true;
}

namespace {

// A failed read of a file the process should have: gone when the kernel no longer knows it.
LinuxProcessSource::PidOutcome failureOf(int error) {
    return error == ENOENT || error == ESRCH ? LinuxProcessSource::PidOutcome::vanished
                                             : LinuxProcessSource::PidOutcome::unreadable;
}

}  // namespace

LinuxProcessSource::PidOutcome LinuxProcessSource::readPid(int32_t pid, PidState& state,
                                                           std::vector<ProcCounters>& own,
                                                           std::vector<RefusedProc>* refused) {
    PidStat st;
    if (const PidOutcome outcome = readStat(pid, state, st); outcome != PidOutcome::read) return outcome;
    comm_.assign(st.comm);  // `st.comm` points into the buffer the next read reuses
    const bool kernelThread = (st.flags & kPfKthread) != 0;
    const uint64_t ticks = st.utime + st.stime;

    uint64_t readBytes = 0, writeBytes = 0;
    if (const PidOutcome outcome = readIo(pid, state, kernelThread, ticks, readBytes, writeBytes);
        outcome != PidOutcome::read)
        return outcome;

    if (state.refused) {
        const uint64_t residentPages = st.rssPages > 0 ? static_cast<uint64_t>(st.rssPages) : 0;
        if (refused)
            refused->push_back({pid, st.starttime, names_.name(procFd_, pid, st.starttime, comm_, kernelThread),
                                std::nullopt, ticks, residentPages * pageSize_, st.ppid,
                                static_cast<int32_t>(std::clamp<int64_t>(st.numThreads, 0, INT32_MAX)),
                                static_cast<int32_t>(std::clamp<int64_t>(st.nice, -20, 19)), st.state});
        return PidOutcome::refused;
    }

    if (const PidOutcome outcome = readMemory(pid, state, st); outcome != PidOutcome::read) return outcome;
    const uint64_t runs = readRuns(pid, state);

    ProcCounters& c = own.emplace_back();
    c.pid = pid;
    c.startTime = st.starttime;
    c.name = names_.name(procFd_, pid, st.starttime, comm_, false);
    c.cpuTicks = ticks;
    c.childTicks = st.cutime + st.cstime;
    c.ppid = st.ppid;
    c.threads = static_cast<int32_t>(std::clamp<int64_t>(st.numThreads, 0, INT32_MAX));
    c.nice = static_cast<int32_t>(std::clamp<int64_t>(st.nice, -20, 19));
    c.state = st.state;
    c.wakeups = runs;
    c.memBytes = state.memBytes;
    c.diskReadBytes = readBytes;
    c.diskWriteBytes = writeBytes;
    return PidOutcome::read;
}

LinuxProcessSource::PidOutcome LinuxProcessSource::readStat(int32_t pid, PidState& state, PidStat& st) {
    std::string_view text;
    if (const int error = readSlot(pid, state, kStat, text); error != 0) {
        closeAll(state);
        return failureOf(error);
    }
    if (!parsePidStat(text, st)) {
        closeAll(state);
        return PidOutcome::malformed;
    }
    if (st.state == 'Z' || st.state == 'X' || st.state == 'x') {
        closeAll(state);
        return PidOutcome::zombie;
    }
    if (state.started && state.startTime != st.starttime) {
        // A new process under the pid, read through a freshly opened stat: nothing
        // known of the old one applies.
        const int statFd = std::exchange(state.fd[kStat], -1);
        closeAll(state);
        state.fd[kStat] = statFd;
        state.forgetProcess();
    }
    state.started = true;
    state.startTime = st.starttime;
    return PidOutcome::read;
}

LinuxProcessSource::PidOutcome LinuxProcessSource::readIo(int32_t pid, PidState& state, bool kernelThread,
                                                          uint64_t ticks, uint64_t& readBytes,
                                                          uint64_t& writeBytes) {
    if (kernelThread) {
        state.refused = true;
        return PidOutcome::read;
    }
    if (state.refused) return PidOutcome::read;
    if (!ioAccounting_) {
        // Without io counters, ownership of the process's directory decides.
        const auto owner = ownerOf(pid);
        if (!owner) return PidOutcome::vanished;
        state.refused = euid_ != 0 && *owner != euid_;
        return PidOutcome::read;
    }
    if (state.ioDenied) return PidOutcome::read;
    if (state.ioKnown && state.ioTicks == ticks && (generation_ + static_cast<uint32_t>(pid)) % kIoRefresh != 0) {
        // The counters move only while the process runs. A little work may not reach a
        // clock tick, so each pid is read again once in kIoRefresh reads (at its own turn,
        // spreading the cost): its bytes are reported late, never lost.
        readBytes = state.readBytes;
        writeBytes = state.writeBytes;
        return PidOutcome::read;
    }
    std::string_view text;
    const int error = readSlot(pid, state, kIo, text);
    if (error == EACCES || error == EPERM) {
        closeSlot(state, kIo);
        // The kernel refuses the io counters of our own non-dumpable processes too
        // (agents, keyrings, sandboxes); those stay our rows, without disk figures.
        const auto owner = ownerOf(pid);
        if (!owner) return PidOutcome::vanished;
        if (*owner == euid_)
            state.ioDenied = true;
        else
            state.refused = true;
        return PidOutcome::read;
    }
    if (error != 0) return failureOf(error);
    if (!parseIo(text, readBytes, writeBytes)) return PidOutcome::malformed;
    state.ioKnown = true;
    state.ioTicks = ticks;
    state.readBytes = readBytes;
    state.writeBytes = writeBytes;
    return PidOutcome::read;
}

LinuxProcessSource::PidOutcome LinuxProcessSource::readMemory(int32_t pid, PidState& state, const PidStat& st) {
    if (state.memKnown && state.memRss == st.rssPages && state.memMinflt == st.minflt &&
        state.memMajflt == st.majflt)
        return PidOutcome::read;
    std::string_view text;
    uint64_t resident = 0, shared = 0;
    if (const int error = readSlot(pid, state, kStatm, text); error != 0) return failureOf(error);
    if (!parseStatm(text, resident, shared)) return PidOutcome::malformed;
    state.memKnown = true;
    state.memRss = st.rssPages;
    state.memMinflt = st.minflt;
    state.memMajflt = st.majflt;
    state.memBytes = (resident > shared ? resident - shared : 0) * pageSize_;
    return PidOutcome::read;
}

// The run count of schedstat; 0 where the kernel keeps none or the file fails, which costs
// the process its wakeup figure, not its row.
uint64_t LinuxProcessSource::readRuns(int32_t pid, PidState& state) {
    if (!schedstat_) return 0;
    std::string_view text;
    uint64_t runs = 0;
    if (readSlot(pid, state, kSchedstat, text) != 0 || !parseSchedstat(text, runs)) return 0;
    return runs;
}

std::optional<uint64_t> LinuxProcessSource::startClockNow() {
    timespec now{};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) return std::nullopt;
    return static_cast<uint64_t>(now.tv_sec) * clockTicks_ +
           static_cast<uint64_t>(now.tv_nsec) * clockTicks_ / 1000000000u;
}

QString LinuxProcessSource::processName(int32_t pid) {
    char path[48];
    entryPath(path, pid, "stat");
    std::string_view text;
    PidStat st;
    const int fd = pid < 1 ? -EINVAL : openEntry(path);
    if (fd < 0) return pidName(pid);
    const int error = readFd(fd, text);
    ::close(fd);
    if (error != 0 || !parsePidStat(text, st)) return pidName(pid);
    comm_.assign(st.comm);
    return names_.name(procFd_, pid, st.starttime, comm_, (st.flags & kPfKthread) != 0);
}

bool LinuxProcessSource::parseStatm(std::string_view text, uint64_t& residentPages, uint64_t& sharedPages) {
    uint64_t size = 0;
    return nextUInt(text, size) && nextUInt(text, residentPages) && nextUInt(text, sharedPages);
}

bool LinuxProcessSource::parseIo(std::string_view text, uint64_t& readBytes, uint64_t& writeBytes) {
    return keyValue(text, "read_bytes", readBytes) && keyValue(text, "write_bytes", writeBytes);
}

bool LinuxProcessSource::parseSchedstat(std::string_view text, uint64_t& runs) {
    uint64_t runtime = 0, waited = 0;
    return nextUInt(text, runtime) && nextUInt(text, waited) && nextUInt(text, runs);
}

}  // namespace velmora::platform
