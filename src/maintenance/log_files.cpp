#include "maintenance/log_files.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::logs {

FixedText::FixedText(char* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {
    if (capacity_ > 0) buffer_[0] = '\0';
    else ok_ = false;
}

FixedText& FixedText::add(const char* text, size_t size) {
    // One byte stays for the terminating zero.
    const size_t room = capacity_ > size_ ? capacity_ - size_ - 1 : 0;
    const size_t n = size < room ? size : room;
    if (n < size) ok_ = false;
    std::memcpy(buffer_ + size_, text, n);
    size_ += n;
    if (capacity_ > 0) buffer_[size_] = '\0';
    return *this;
}

FixedText& FixedText::add(const char* text) {
    return add(text, std::strlen(text));
}

FixedText& FixedText::addNumber(int64_t value) {
    char digits[24];
    size_t n = 0;
    // Negative values count down from zero so the most negative one needs no negation.
    const bool negative = value < 0;
    do {
        const int64_t d = value % 10;
        digits[n++] = static_cast<char>('0' + (negative ? -d : d));
        value /= 10;
    } while (value != 0);
    if (negative) add("-", 1);
    while (n > 0)
        add(&digits[--n], 1);
    return *this;
}

FixedText& FixedText::addHex(uint64_t value) {
    char digits[16];
    size_t n = 0;
    do {
        digits[n++] = "0123456789abcdef"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    add("0x", 2);
    while (n > 0)
        add(&digits[--n], 1);
    return *this;
}

namespace {

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Each temporary file of this process gets its own number, whichever thread writes it.
std::atomic<unsigned> temporarySerial{0};
static_assert(std::atomic<unsigned>::is_always_lock_free, "used from signal handlers");

constexpr int kMaxCounter = 10000;

}  // namespace

bool writeNewLog(const char* dir, const char* prefix, int64_t seconds, std::span<const Chunk> chunks,
                 void (*more)(int fd), char* pathOut, size_t pathCapacity) {
    char tmp[4096];
    FixedText tmpPath(tmp, sizeof tmp);
    tmpPath.add(dir).add("/.").add(prefix).add("-").addNumber(::getpid()).add("-");
    tmpPath.addNumber(temporarySerial.fetch_add(1)).add(".tmp");
    if (!tmpPath.ok()) return false;

    const int fd = ::open(tmp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) return false;
    bool ok = true;
    for (const Chunk& c : chunks)
        ok = ok && writeAll(fd, c.data, c.size);
    if (ok && more) more(fd);
    // The content is on disk before the name points at it.
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(tmp);
        return false;
    }

    char name[4096];
    for (int n = 1; n <= kMaxCounter; ++n) {
        FixedText path(name, sizeof name);
        path.add(dir).add("/").add(prefix).add("-").addNumber(seconds);
        if (n > 1) path.add("-").addNumber(n);
        path.add(".log");
        if (!path.ok()) break;
        bool placed = ::link(tmp, name) == 0;
        if (!placed && errno == EEXIST) continue;
        if (!placed) {
            // A file system without hard links: claim the name with an empty file, then
            // move the content over that claim.
            const int claim = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
            if (claim < 0) {
                if (errno == EEXIST) continue;
                break;
            }
            ::close(claim);
            placed = ::rename(tmp, name) == 0;
            if (!placed) {
                ::unlink(name);
                break;
            }
        }
        ::unlink(tmp);
        if (pathOut && pathCapacity > 0) FixedText(pathOut, pathCapacity).add(name);
        return true;
    }
    ::unlink(tmp);
    return false;
}

}  // namespace velmora::logs
