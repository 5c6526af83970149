#include "platform/linux/proc_files_linux.h"

#include "platform/linux/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace velmora::platform {

using namespace linux_fs;

namespace {

template <typename T>
bool parseHex(std::string_view text, T& out) {
    if (text.empty() || text.size() > sizeof(T) * 2) return false;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), out, 16);
    return ec == std::errc() && p == text.data() + text.size();
}

// "0100007F:0277": the kernel prints each 32-bit word of the address as a native integer,
// so reading the words back natively restores network byte order.
bool parseEndpoint(std::string_view text, uint8_t family, std::array<uint8_t, 16>& addr, uint16_t& port) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view hex = text.substr(0, colon);
    const size_t words = family == AF_INET ? 1 : 4;
    if (hex.size() != words * 8) return false;
    for (size_t i = 0; i < words; ++i) {
        uint32_t w = 0;
        if (!parseHex(hex.substr(i * 8, 8), w)) return false;
        std::memcpy(addr.data() + i * 4, &w, 4);
    }
    return parseHex(text.substr(colon + 1), port);
}

bool readInetTable(const std::string& path, uint8_t family, bool udp, std::string& buf,
                   std::vector<InetEntry>& out) {
    if (!readFile(path, buf, 64 << 20)) return false;
    LinuxProcFiles::parseInetTable(buf, family, udp, out);
    return true;
}

}  // namespace

void LinuxProcFiles::parseInetTable(std::string_view text, uint8_t family, bool udp,
                                    std::vector<InetEntry>& out) {
    std::vector<std::string_view> f;
    forEachLine(text, [&](std::string_view line) {
        // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ..."
        splitFields(line, f);
        if (f.size() < 10 || f[0].empty() || f[0].back() != ':') return;  // the header, or garbage
        InetEntry e;
        e.family = family;
        e.udp = udp;
        if (!parseEndpoint(f[1], family, e.localAddr, e.localPort) ||
            !parseEndpoint(f[2], family, e.remoteAddr, e.remotePort) || !parseHex(f[3], e.state))
            return;
        const auto inode = parseUInt(f[9]);
        if (!inode) return;
        e.inode = *inode;
        out.push_back(e);
    });
}

LinuxProcFiles::LinuxProcFiles(std::string procRoot) : root_(std::move(procRoot)) {}

bool LinuxProcFiles::scanFds(int32_t pid, bool files, size_t keepFiles, FdScan& out) const {
    out.denied = false;
    out.socketInodes.clear();
    out.files.clear();
    out.fileCount = 0;
    const std::string dir = root_ + "/" + std::to_string(pid) + "/fd";
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        if (errno == EACCES || errno == EPERM) {
            out.denied = true;
            return true;
        }
        return false;
    }
    const int dfd = ::dirfd(d);
    char link[4096];
    while (dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;
        const ssize_t n = ::readlinkat(dfd, e->d_name, link, sizeof link);
        if (n <= 0) {
            if (errno == EACCES || errno == EPERM) out.denied = true;
            continue;  // closed meanwhile
        }
        const std::string_view target(link, static_cast<size_t>(n));
        if (target.substr(0, 8) == "socket:[") {
            const auto inode = parseUInt(target.substr(8, target.size() - 9));
            if (inode && target.back() == ']') out.socketInodes.push_back(*inode);
        } else if (files && target.front() == '/') {
            struct stat st {};
            if (::fstatat(dfd, e->d_name, &st, 0) != 0) {
                if (errno == EACCES || errno == EPERM) out.denied = true;
                continue;
            }
            if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) continue;
            ++out.fileCount;
            if (out.files.size() < keepFiles) out.files.emplace_back(target);
        }
    }
    ::closedir(d);
    return true;
}

bool LinuxProcFiles::inetSockets(int32_t pid, bool tcp, bool udp, std::vector<InetEntry>& out) const {
    const std::string net = root_ + "/" + std::to_string(pid) + "/net/";
    std::string buf;
    bool any = false;
    if (tcp) {
        any |= readInetTable(net + "tcp", AF_INET, false, buf, out);
        any |= readInetTable(net + "tcp6", AF_INET6, false, buf, out);
    }
    if (udp) {
        any |= readInetTable(net + "udp", AF_INET, true, buf, out);
        any |= readInetTable(net + "udp6", AF_INET6, true, buf, out);
    }
    return any;
}

bool LinuxProcFiles::sharesNetNamespace(int32_t pid) const {
    char theirs[64];
    char ours[64];
    const std::string path = root_ + "/" + std::to_string(pid) + "/ns/net";
    const ssize_t a = ::readlink(path.c_str(), theirs, sizeof theirs);
    const ssize_t b = ::readlink("/proc/self/ns/net", ours, sizeof ours);
    return a > 0 && a == b && std::memcmp(theirs, ours, static_cast<size_t>(a)) == 0;
}

void SmapsParser::line(std::string_view line) {
    if (line.empty()) return;
    const size_t colon = line.find(':');
    const size_t space = line.find(' ');
    // Field lines are "Name:   value kB"; a mapping's header starts with "start-end perms".
    if (colon != std::string_view::npos && (space == std::string_view::npos || colon < space)) {
        if (!open_) return;
        const std::string_view key = line.substr(0, colon);
        uint64_t* target = nullptr;
        if (key == "Private_Dirty")
            target = &current_.privateDirty;
        else if (key == "Shared_Dirty")
            target = &current_.sharedDirty;
        else if (key == "Private_Clean")
            target = &current_.privateClean;
        else if (key == "Shared_Clean")
            target = &current_.sharedClean;
        else if (key == "Swap")
            target = &current_.swap;
        else if (key == "LazyFree")
            target = &current_.lazyFree;
        if (!target) return;
        std::string_view value = trim(line.substr(colon + 1));
        if (value.size() > 3 && value.substr(value.size() - 3) == " kB") value.remove_suffix(3);
        if (const auto kb = parseUInt(value); kb && *kb < (UINT64_MAX >> 10)) *target = *kb << 10;
        return;
    }
    // "7f00-7f10 r-xp 00000000 08:01 1234    /usr/lib/libc.so.6" (the path may hold spaces).
    std::string_view rest = line;
    std::string_view fields[5];
    for (auto& field : fields) {
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        const size_t end = rest.find(' ');
        field = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    if (fields[0].find('-') == std::string_view::npos || fields[1].size() != 4 || fields[4].empty()) return;
    finish();
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    path_.assign(rest);
    current_ = MemRegion();
    current_.shared = fields[1][3] == 's';
    open_ = true;
}

void SmapsParser::finish() {
    if (!open_) return;
    current_.path = path_;
    ++regions_;
    sink_(current_);
    open_ = false;
}

bool LinuxProcFiles::memoryRegions(int32_t pid, const std::function<void(const MemRegion&)>& sink) const {
    const std::string path = root_ + "/" + std::to_string(pid) + "/smaps";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Streamed: a process with many thousands of mappings prints megabytes of text.
    SmapsParser parser(sink);
    std::string carry;
    char chunk[64 << 10];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        std::string_view data(chunk, static_cast<size_t>(n));
        while (!data.empty()) {
            const size_t nl = data.find('\n');
            if (nl == std::string_view::npos) {
                if (carry.size() < (64 << 10)) carry.append(data);  // no real line is this long
                break;
            }
            if (carry.empty()) {
                parser.line(data.substr(0, nl));
            } else {
                carry.append(data.substr(0, nl));
                parser.line(carry);
                carry.clear();
            }
            data.remove_prefix(nl + 1);
        }
    }
    ::close(fd);
    if (!ok) return false;
    if (!carry.empty()) parser.line(carry);
    parser.finish();
    return true;
}

}  // namespace velmora::platform
