#pragma once

#include <cstdint>
#include <string>

namespace velmora::platform {

// What identifies one version of a file: it changes when the file is rewritten or replaced.
struct FileStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = -1;
    int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};

enum class SmallFileRead { missing, unchanged, read };

// Reads a small regular file that other programs replace from time to time. When its stamp
// equals `stamp` nothing is read (`unchanged`); otherwise `buf` receives at most `limit`
// bytes and `stamp` the new stamp. Anything but a regular file (a FIFO, a device, a folder)
// counts as `missing` and is never opened for reading, so it cannot block the caller.
SmallFileRead readSmallFile(const std::string& path, FileStamp& stamp, std::string& buf,
                            size_t limit = 64 << 10);

}  // namespace velmora::platform
