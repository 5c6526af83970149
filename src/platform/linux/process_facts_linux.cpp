#include "platform/linux/process_facts_linux.h"

#include "platform/linux/file_util.h"
#include "platform/linux/proc_names.h"
#include "platform/linux/proc_pid.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

namespace velmora::platform {

using namespace linux_fs;

ProcessFactsSource& systemProcessFacts() {
    static LinuxProcessFacts source;
    return source;
}

namespace {

std::optional<std::string> readLink(const std::string& path) {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n <= 0) return std::nullopt;
    buf.resize(static_cast<size_t>(n));
    return buf;
}

// The first bytes of a file, or nothing when it cannot be opened.
std::string readHead(const std::string& path, size_t count) {
    std::string buf(count, '\0');
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    size_t used = 0;
    while (used < count) {
        const ssize_t n = ::read(fd, buf.data() + used, count - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    buf.resize(used);
    return buf;
}

template <typename Fn>
void forEachNumericEntry(const std::string& dir, Fn&& fn) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = ::readdir(d)) {
        const auto n = parseInt(e->d_name);
        if (n && *n >= 0 && *n <= INT32_MAX) fn(static_cast<int32_t>(*n));
    }
    ::closedir(d);
}

}  // namespace

LinuxProcessFacts::LinuxProcessFacts(std::string procRoot) : root_(std::move(procRoot)) {
    std::string buf;
    if (readFile(root_ + "/stat", buf, 1 << 20)) bootTime_ = parseBootTime(buf).value_or(0);
    ticksPerSecond_ = std::max(1L, ::sysconf(_SC_CLK_TCK));
    pageSize_ = static_cast<uint64_t>(std::max(1L, ::sysconf(_SC_PAGESIZE)));
}

std::string LinuxProcessFacts::pidDir(int32_t pid) const {
    return root_ + "/" + std::to_string(pid);
}

ProcRunState LinuxProcessFacts::stateFromLetter(char letter) {
    switch (letter) {
        case 'R':
            return ProcRunState::running;
        case 'S':
        case 'D':
            return ProcRunState::sleeping;
        case 'I':
            return ProcRunState::idle;
        case 'T':
        case 't':
            return ProcRunState::stopped;
        case 'Z':
            return ProcRunState::zombie;
        default:
            return ProcRunState::unknown;  // X (dead), and letters of old kernels
    }
}

std::optional<uint32_t> LinuxProcessFacts::parseStatusUid(std::string_view status) {
    std::optional<uint32_t> uid;
    std::vector<std::string_view> fields;
    forEachLine(status, [&](std::string_view line) {
        if (uid || line.substr(0, 4) != "Uid:") return;
        splitFields(line.substr(4), fields);
        if (fields.size() < 2) return;
        const auto v = parseUInt(fields[1]);
        if (v && *v <= UINT32_MAX) uid = static_cast<uint32_t>(*v);
    });
    return uid;
}

std::optional<int64_t> LinuxProcessFacts::parseBootTime(std::string_view stat) {
    std::optional<int64_t> boot;
    forEachLine(stat, [&](std::string_view line) {
        if (!boot && line.substr(0, 6) == "btime ") boot = parseInt(line.substr(6));
    });
    return boot;
}

std::string LinuxProcessFacts::displayName(std::string_view comm, std::string_view exePath,
                                           std::string_view argv0) {
    return std::string(extendedName(comm, exePath, argv0).value_or(comm));
}

std::optional<ProcFacts> LinuxProcessFacts::facts(int32_t pid) {
    if (pid < 0) return std::nullopt;
    const std::string dir = pidDir(pid);
    std::string stat;
    PidStat ps;
    if (!readFile(dir + "/stat", stat, 64 << 10) || !parsePidStat(stat, ps)) return std::nullopt;
    std::string status;
    if (!readFile(dir + "/status", status, 64 << 10)) return std::nullopt;
    const auto uid = parseStatusUid(status);
    if (!uid) return std::nullopt;

    ProcFacts f;
    f.pid = pid;
    f.ppid = ps.ppid;
    f.uid = *uid;
    f.state = stateFromLetter(ps.state);
    if (bootTime_ > 0) f.startEpochSec = bootTime_ + static_cast<int64_t>(ps.starttime / ticksPerSecond_);

    // A vanished process or another user's one refuses the link: the path stays empty.
    if (auto exe = readLink(dir + "/exe")) f.path = std::move(*exe);
    std::string cmdline;
    if (readFile(dir + "/cmdline", cmdline, 1 << 20)) f.command = joinArguments(cmdline);
    const std::string_view argv0(cmdline.data(), std::min(cmdline.size(), std::strlen(cmdline.c_str())));
    f.name = displayName(ps.comm, f.path, argv0);
    f.arch = elfArchText(readHead(dir + "/exe", 20));
    return f;
}

std::optional<ProcLiveCounters> LinuxProcessFacts::counters(int32_t pid) {
    if (pid < 0) return std::nullopt;
    std::string stat;
    PidStat ps;
    if (!readFile(pidDir(pid) + "/stat", stat, 64 << 10) || !parsePidStat(stat, ps)) return std::nullopt;
    ProcLiveCounters c;
    c.threads = static_cast<int>(std::max<int64_t>(0, ps.numThreads));
    c.residentBytes = static_cast<uint64_t>(std::max<int64_t>(0, ps.rssPages)) * pageSize_;
    c.virtualBytes = ps.vsize;
    c.cpuSeconds = static_cast<double>(ps.utime + ps.stime) / static_cast<double>(ticksPerSecond_);
    return c;
}

std::vector<int32_t> LinuxProcessFacts::childPids(int32_t pid) {
    std::vector<int32_t> out;
    if (pid < 0) return out;
    const std::string taskDir = pidDir(pid) + "/task";
    bool anyChildrenFile = false;
    bool anyTask = false;
    std::string buf;
    std::unordered_set<int32_t> seen;
    forEachNumericEntry(taskDir, [&](int32_t tid) {
        anyTask = true;
        if (!readFile(taskDir + "/" + std::to_string(tid) + "/children", buf, 1 << 20)) return;
        anyChildrenFile = true;
        std::vector<std::string_view> fields;
        splitFields(buf, fields);
        for (auto f : fields) {
            const auto child = parseInt(trim(f));
            if (child && *child >= 2 && *child <= INT32_MAX &&
                seen.insert(static_cast<int32_t>(*child)).second)
                out.push_back(static_cast<int32_t>(*child));
        }
    });
    if (anyTask && !anyChildrenFile) return childPidsByScan(pid);
    return out;
}

std::vector<int32_t> LinuxProcessFacts::childPidsByScan(int32_t pid) {
    std::vector<int32_t> out;
    std::string stat;
    PidStat ps;
    forEachNumericEntry(root_, [&](int32_t candidate) {
        if (candidate < 2) return;
        if (readFile(pidDir(candidate) + "/stat", stat, 64 << 10) && parsePidStat(stat, ps) && ps.ppid == pid)
            out.push_back(candidate);
    });
    std::sort(out.begin(), out.end());  // directory order is arbitrary; creation order is closest
    return out;
}

}  // namespace velmora::platform
