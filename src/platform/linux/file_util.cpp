#include "platform/linux/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace velmora::platform::linux_fs {

namespace {
// The smallest page size: no one-piece file hands out less than this in a read unless it ends.
constexpr size_t kPage = 4096;
}  // namespace

bool readFile(const std::string& path, std::string& buf, size_t limit) {
    buf.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    buf.resize(std::min(limit, std::max<size_t>(buf.capacity(), 4096)));
    bool ok = true;
    size_t used = 0;
    for (;;) {
        if (used == buf.size()) {
            if (buf.size() >= limit) break;  // keep what fits
            buf.resize(std::min(limit, buf.size() * 2));
        }
        const ssize_t n = ::read(fd, buf.data() + used, buf.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    buf.resize(ok ? used : 0);
    return ok;
}

std::string_view trim(std::string_view text) {
    const char* ws = " \t\r\n\v\f";
    const size_t b = text.find_first_not_of(ws);
    if (b == std::string_view::npos) return {};
    const size_t e = text.find_last_not_of(ws);
    return text.substr(b, e - b + 1);
}

std::optional<std::string> readTrimmed(const std::string& path) {
    std::string buf;
    if (!readFile(path, buf, 64 << 10)) return std::nullopt;
    return std::string(trim(buf));
}

std::optional<int64_t> parseInt(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int64_t v = 0;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || p != text.data() + text.size()) return std::nullopt;
    return v;
}

std::optional<uint64_t> parseUInt(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    uint64_t v = 0;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || p != text.data() + text.size()) return std::nullopt;
    return v;
}

std::optional<int64_t> readInt(const std::string& path) {
    std::string buf;
    if (!readFile(path, buf, 4096)) return std::nullopt;
    return parseInt(buf);
}

std::optional<std::vector<int>> parseCpuList(std::string_view text) {
    text = trim(text);
    std::vector<int> out;
    if (text.empty()) return out;
    constexpr int kMaxCpu = 1 << 16;  // no real machine comes close; stops "0-2000000000"
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        const size_t dash = part.find('-');
        const auto lo = parseInt(part.substr(0, dash));
        const auto hi = dash == std::string_view::npos ? lo : parseInt(part.substr(dash + 1));
        if (!lo || !hi || *lo < 0 || *hi < *lo || *hi >= kMaxCpu) return std::nullopt;
        for (int64_t c = *lo; c <= *hi; ++c)
            out.push_back(static_cast<int>(c));
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    return out;
}

void splitFields(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
}

bool listDir(const std::string& path, std::vector<std::string>& out) {
    out.clear();
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return false;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        out.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end());
    return true;
}

std::optional<std::string> linkBasename(const std::string& path) {
    char target[4096];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return std::nullopt;
    std::string_view t(target, static_cast<size_t>(n));
    while (!t.empty() && t.back() == '/')
        t.remove_suffix(1);
    const size_t slash = t.rfind('/');
    if (slash != std::string_view::npos) t.remove_prefix(slash + 1);
    if (t.empty()) return std::nullopt;
    return std::string(t);
}

PinnedFile::PinnedFile(PinnedFile&& other) noexcept
    : path_(std::move(other.path_)),
      fd_(other.fd_),
      declaredWhole_(other.declaredWhole_),
      whole_(other.whole_) {
    other.fd_ = -1;
}

PinnedFile& PinnedFile::operator=(PinnedFile&& other) noexcept {
    if (this != &other) {
        close();
        path_ = std::move(other.path_);
        fd_ = other.fd_;
        declaredWhole_ = other.declaredWhole_;
        whole_ = other.whole_;
        other.fd_ = -1;
    }
    return *this;
}

PinnedFile::~PinnedFile() {
    close();
}

void PinnedFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

PinnedFile PinnedFile::ifExists(std::string path) {
    if (::access(path.c_str(), F_OK) != 0) return PinnedFile();
    return PinnedFile(std::move(path));
}

bool PinnedFile::exists() const {
    return !path_.empty() && ::access(path_.c_str(), F_OK) == 0;
}

bool PinnedFile::read(std::string& buf, size_t limit) {
    buf.clear();
    if (path_.empty()) return false;
    if (fd_ < 0) {
        // Non-blocking: a FIFO planted where a file belongs must not stall the sampler.
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) return false;
        struct stat st;
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            close();
            return false;
        }
        struct statfs fs;
        whole_ = declaredWhole_ || (::fstatfs(fd_, &fs) == 0 && fs.f_type != PROC_SUPER_MAGIC);
    }
    buf.resize(std::min(limit, std::max<size_t>(buf.capacity(), 256)));
    size_t used = 0;
    for (;;) {
        if (used == buf.size()) {
            if (buf.size() >= limit) break;
            buf.resize(std::min(limit, buf.size() * 2));
        }
        const ssize_t n = ::pread(fd_, buf.data() + used, buf.size() - used, static_cast<off_t>(used));
        if (n < 0) {
            if (errno == EINTR) continue;
            // EIO, ENODATA, ENODEV: a sleeping or vanished device. Reopen next time.
            close();
            buf.clear();
            return false;
        }
        if (n == 0) break;
        const size_t asked = buf.size() - used;
        used += static_cast<size_t>(n);
        // Binary sysfs attributes come a page at a time; a whole page may not be the end.
        if (whole_ && static_cast<size_t>(n) < asked && static_cast<size_t>(n) < kPage) break;
    }
    buf.resize(used);
    return true;
}

std::optional<int64_t> PinnedFile::readInt(std::string& scratch) {
    if (!read(scratch, 4096)) return std::nullopt;
    return parseInt(scratch);
}

}  // namespace velmora::platform::linux_fs
