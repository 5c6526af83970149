#include "platform/small_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velmora::platform {

namespace {

FileStamp stampOf(const struct stat& st) {
    FileStamp s;
    s.device = static_cast<uint64_t>(st.st_dev);
    s.inode = static_cast<uint64_t>(st.st_ino);
    s.size = static_cast<int64_t>(st.st_size);
#ifdef __APPLE__
    s.mtimeNs = static_cast<int64_t>(st.st_mtimespec.tv_sec) * 1000000000 + st.st_mtimespec.tv_nsec;
#else
    s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
#endif
    return s;
}

}  // namespace

SmallFileRead readSmallFile(const std::string& path, FileStamp& stamp, std::string& buf, size_t limit) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        stamp = {};
        return SmallFileRead::missing;
    }
    if (stampOf(st) == stamp) return SmallFileRead::unchanged;

    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        stamp = {};
        return SmallFileRead::missing;
    }
    // The path may have been swapped between stat and open; trust only the opened file.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        stamp = {};
        return SmallFileRead::missing;
    }
    buf.resize(std::min<size_t>(limit, static_cast<size_t>(std::max<off_t>(st.st_size, 0)) + 1));
    size_t used = 0;
    bool ok = true;
    while (used < buf.size()) {
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
    if (!ok) {
        buf.clear();
        stamp = {};
        return SmallFileRead::missing;
    }
    buf.resize(used);
    stamp = stampOf(st);
    return SmallFileRead::read;
}

}  // namespace velmora::platform
