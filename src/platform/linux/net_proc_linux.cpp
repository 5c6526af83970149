#include "platform/linux/net_proc_linux.h"

#include "platform/linux/proc_pid.h"
#include "platform/process.h"

#include <dirent.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <string_view>
#include <unordered_set>

namespace velmora::platform {

namespace {

constexpr uint32_t kPfKthread = 0x00200000;

bool isPid(const char* name, int32_t& pid) {
    if (*name < '1' || *name > '9') return false;
    const char* end = name + std::char_traits<char>::length(name);
    const auto [p, ec] = std::from_chars(name, end, pid);
    return ec == std::errc() && p == end && pid > 0;
}

// The inode of a "socket:[N]" link target.
bool socketInode(std::string_view target, uint64_t& inode) {
    constexpr std::string_view prefix = "socket:[";
    if (target.size() < prefix.size() + 2 || target.substr(0, prefix.size()) != prefix ||
        target.back() != ']')
        return false;
    const char* b = target.data() + prefix.size();
    const char* e = target.data() + target.size() - 1;
    const auto [p, ec] = std::from_chars(b, e, inode);
    return ec == std::errc() && p == e;
}

// A peer on this machine: 127.0.0.0/8, ::1, or 127/8 mapped into IPv6.
bool loopbackPeer(const InetSocket& s) {
    const auto& a = s.remoteAddr;
    if (s.family == AF_INET) return a[0] == 127;
    static constexpr std::array<uint8_t, 16> one{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    if (a == one) return true;
    const bool mapped = std::all_of(a.begin(), a.begin() + 10, [](uint8_t b) { return b == 0; }) && a[10] == 0xff &&
                        a[11] == 0xff;
    return mapped && a[12] == 127;
}

}  // namespace

std::unique_ptr<NetProcSource> makeNetProcSource() {
    return std::make_unique<LinuxNetProcSource>();
}

LinuxNetProcSource::LinuxNetProcSource(std::string procRoot, std::chrono::milliseconds gap)
    : root_(std::move(procRoot)), gap_(gap) {
    procFd_ = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

LinuxNetProcSource::~LinuxNetProcSource() {
    if (procFd_ >= 0) ::close(procFd_);
}

std::optional<std::vector<ProcNet>> LinuxNetProcSource::measure(const Interrupt::Token& stop) {
    using Clock = std::chrono::steady_clock;
    if (!diag_.tcpSockets(first_)) return std::nullopt;
    const auto t0 = Clock::now();
    if (afterFirstDump_) afterFirstDump_();
    if (!stop.sleepFor(gap_)) return std::vector<ProcNet>{};
    if (!diag_.tcpSockets(last_)) return std::nullopt;
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();

    owners_.clear();
    for (const InetSocket& s : last_)
        if (s.inode != 0 && (s.bytesReceived.value_or(0) != 0 || s.bytesSent.value_or(0) != 0))
            owners_.emplace(s.inode, -1);
    if (!owners_.empty()) findOwners(owners_);

    std::vector<ProcNet> out = traffic(first_, last_, owners_, seconds);
    for (ProcNet& p : out)
        p.name = nameOf(p.pid);
    names_.sweep();
    std::stable_sort(out.begin(), out.end(), [](const ProcNet& a, const ProcNet& b) {
        return a.inBps + a.outBps > b.inBps + b.outBps;
    });
    return out;
}

std::vector<ProcNet> LinuxNetProcSource::traffic(const std::vector<InetSocket>& first,
                                                 const std::vector<InetSocket>& last,
                                                 const std::unordered_map<uint64_t, int32_t>& owners,
                                                 double seconds) {
    std::vector<ProcNet> out;
    if (!(seconds > 0)) return out;
    std::unordered_map<uint64_t, const InetSocket*> before;
    before.reserve(first.size());
    std::unordered_set<int32_t> pidsBefore;
    for (const InetSocket& s : first) {
        if (s.inode == 0) continue;
        before.emplace(s.inode, &s);
        if (const auto owner = owners.find(s.inode); owner != owners.end() && owner->second >= 1)
            pidsBefore.insert(owner->second);
    }

    struct Bytes {
        uint64_t in = 0;
        uint64_t out = 0;
        uint64_t loopback = 0;
    };
    std::map<int32_t, Bytes> perPid;
    for (const InetSocket& s : last) {
        if (s.inode == 0) continue;
        const auto owner = owners.find(s.inode);
        if (owner == owners.end() || owner->second < 1) continue;
        const uint64_t in1 = s.bytesReceived.value_or(0), out1 = s.bytesSent.value_or(0);
        uint64_t in0 = 0, out0 = 0;
        if (const auto b = before.find(s.inode); b != before.end()) {
            in0 = b->second->bytesReceived.value_or(0);
            out0 = b->second->bytesSent.value_or(0);
        } else if (!pidsBefore.contains(owner->second)) {
            // A process first seen now has no baseline. Its socket may be old and merely
            // missed by the first dump (dumps are not atomic under connection churn), and
            // crediting all its bytes would show a lifetime of traffic as one second's.
            continue;
        }
        Bytes& sum = perPid[owner->second];
        const uint64_t in = in1 >= in0 ? in1 - in0 : 0;
        const uint64_t sent = out1 >= out0 ? out1 - out0 : 0;
        sum.in += in;
        sum.out += sent;
        if (loopbackPeer(s)) sum.loopback += in + sent;
    }
    for (const auto& [pid, bytes] : perPid)
        if (bytes.in != 0 || bytes.out != 0)
            out.push_back({pid,
                           {},
                           static_cast<double>(bytes.in) / seconds,
                           static_cast<double>(bytes.out) / seconds,
                           static_cast<double>(bytes.loopback) / seconds});
    return out;
}

void LinuxNetProcSource::findOwners(std::unordered_map<uint64_t, int32_t>& owners) {
    if (procFd_ < 0) return;
    const int listFd = ::fcntl(procFd_, F_DUPFD_CLOEXEC, 0);
    if (listFd < 0) return;
    DIR* proc = ::fdopendir(listFd);
    if (!proc) {
        ::close(listFd);
        return;
    }
    // The duplicate shares its read position with procFd_, which the last listing left
    // at the end: start over, or every listing after the first is empty.
    ::rewinddir(proc);
    size_t unresolved = owners.size();
    char path[48];
    char target[64];
    std::vector<int32_t> pids;
    while (const dirent* e = ::readdir(proc)) {
        int32_t pid = 0;
        if (isPid(e->d_name, pid)) pids.push_back(pid);
    }
    ::closedir(proc);
    std::sort(pids.begin(), pids.end());  // a socket shared after fork goes to the parent

    for (const int32_t pid : pids) {
        if (unresolved == 0) break;
        *std::to_chars(path, path + 16, pid).ptr = '\0';
        std::char_traits<char>::copy(path + std::char_traits<char>::length(path), "/fd", 4);
        const int fdDir = ::openat(procFd_, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdDir < 0) continue;  // another user's, or gone
        DIR* fds = ::fdopendir(fdDir);
        if (!fds) {
            ::close(fdDir);
            continue;
        }
        while (const dirent* f = ::readdir(fds)) {
            if (f->d_name[0] < '0' || f->d_name[0] > '9') continue;
            const ssize_t n = ::readlinkat(fdDir, f->d_name, target, sizeof target);
            uint64_t inode = 0;
            if (n <= 0 || !socketInode(std::string_view(target, static_cast<size_t>(n)), inode)) continue;
            const auto it = owners.find(inode);
            if (it != owners.end() && it->second < 0) {
                it->second = pid;
                --unresolved;
            }
        }
        ::closedir(fds);
    }
}

QString LinuxNetProcSource::nameOf(int32_t pid) {
    char path[48];
    *std::to_chars(path, path + 16, pid).ptr = '\0';
    std::char_traits<char>::copy(path + std::char_traits<char>::length(path), "/stat", 6);
    buf_.resize(4096);
    const int fd = ::openat(procFd_, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return pidName(pid);
    const ssize_t n = ::read(fd, buf_.data(), buf_.size());
    ::close(fd);
    PidStat st;
    if (n <= 0 || !parsePidStat(std::string_view(buf_.data(), static_cast<size_t>(n)), st))
        return pidName(pid);
    const std::string comm(st.comm);
    return names_.name(procFd_, pid, st.starttime, comm, (st.flags & kPfKthread) != 0);
}

}  // namespace velmora::platform
