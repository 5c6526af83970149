#include "platform/linux/proc_names.h"

#include "platform/process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace velmora::platform {

namespace {

constexpr size_t kMaxName = 255;

// "<pid>/<leaf>" into `out`, NUL-terminated.
void entryPath(char (&out)[48], int32_t pid, const char* leaf) {
    auto [p, ec] = std::to_chars(out, out + 16, pid);
    *p++ = '/';
    while (*leaf && p < out + sizeof out - 1)
        *p++ = *leaf++;
    *p = '\0';
}

std::string_view baseName(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The base name if it is a longer form of the truncated `comm`.
bool extends(std::string_view base, std::string_view comm) {
    return base.size() > comm.size() && base.size() <= kMaxName && base.substr(0, comm.size()) == comm;
}

}  // namespace

std::optional<std::string_view> extendedName(std::string_view comm, std::string_view exePath,
                                             std::string_view argv0) {
    if (comm.size() < ProcNameCache::kCommMax) return std::nullopt;
    constexpr std::string_view deleted = " (deleted)";
    if (exePath.size() > deleted.size() && exePath.substr(exePath.size() - deleted.size()) == deleted)
        exePath.remove_suffix(deleted.size());
    // A program that rewrote its title ("/bin/tool --flag" in one string) is named by its
    // first word; an executable whose own name has spaces, by all of it.
    argv0 = argv0.substr(0, argv0.find('\0'));
    for (std::string_view candidate :
         {baseName(exePath), baseName(argv0.substr(0, argv0.find(' '))), baseName(argv0)})
        if (extends(candidate, comm)) return candidate;
    return std::nullopt;
}

QString ProcNameCache::resolve(int procFd, int32_t pid, std::string_view comm, bool kernelThread,
                               std::string& buf) {
    if (kernelThread || comm.size() < kCommMax) return displayProcessName(QByteArrayView(comm), pid);
    char path[48];
    buf.resize(4096);

    entryPath(path, pid, "exe");
    const ssize_t n = ::readlinkat(procFd, path, buf.data(), buf.size() - 1);
    if (n > 0) {
        if (auto name = extendedName(comm, std::string_view(buf.data(), static_cast<size_t>(n)), {}))
            return displayProcessName(QByteArrayView(*name), pid);
    }

    // Another user's executable link is refused, but the command line is readable.
    entryPath(path, pid, "cmdline");
    const int fd = ::openat(procFd, path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ssize_t got;
        do
            got = ::read(fd, buf.data(), buf.size());
        while (got < 0 && errno == EINTR);
        ::close(fd);
        if (got > 0) {
            if (auto name = extendedName(comm, {}, std::string_view(buf.data(), static_cast<size_t>(got))))
                return displayProcessName(QByteArrayView(*name), pid);
        }
    }
    return displayProcessName(QByteArrayView(comm), pid);
}

const QString& ProcNameCache::name(int procFd, int32_t pid, uint64_t startTime, std::string_view comm,
                                   bool kernelThread) {
    Entry& e = entries_[pid];
    if (e.seen == 0 || e.startTime != startTime || e.comm != comm) {
        e.startTime = startTime;
        e.comm.assign(comm);
        e.name = resolve(procFd, pid, comm, kernelThread, buf_);
    }
    if (e.seen != generation_) {
        e.seen = generation_;
        ++seenThisGeneration_;
    }
    return e.name;
}

void ProcNameCache::sweep() {
    if (entries_.size() > seenThisGeneration_)
        std::erase_if(entries_, [this](const auto& item) { return item.second.seen != generation_; });
    ++generation_;
    if (generation_ == 0) generation_ = 1;  // 0 marks a fresh entry
    seenThisGeneration_ = 0;
}

}  // namespace velmora::platform
