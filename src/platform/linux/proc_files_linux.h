#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// One row of /proc/<pid>/net/{tcp,tcp6,udp,udp6}: an Internet socket of a network
// namespace, addresses in network byte order.
struct InetEntry {
    uint64_t inode = 0;
    uint8_t family = 0;  // AF_INET or AF_INET6
    bool udp = false;
    uint8_t state = 0;  // TCP state number; for UDP 1 when connected, 7 otherwise
    std::array<uint8_t, 16> localAddr{};
    std::array<uint8_t, 16> remoteAddr{};
    uint16_t localPort = 0;
    uint16_t remotePort = 0;
};

// What /proc/<pid>/fd holds, in the kernel's order of descriptors.
struct FdScan {
    bool denied = false;                 // the folder, or some of its links, were refused
    std::vector<uint64_t> socketInodes;  // every "socket:[inode]" link
    // Names of regular files and directories: at most `keepFiles` of them, all counted.
    std::vector<std::string> files;
    size_t fileCount = 0;
};

// One mapping of /proc/<pid>/smaps, sizes in bytes.
struct MemRegion {
    std::string_view path;  // as the kernel prints it: a file, "[heap]", "" for anonymous, ...
    bool shared = false;    // mapped shared ('s' in the permissions)
    uint64_t privateDirty = 0;
    uint64_t sharedDirty = 0;
    uint64_t privateClean = 0;
    uint64_t sharedClean = 0;
    uint64_t swap = 0;
    uint64_t lazyFree = 0;
};

// Accumulates smaps text, line by line, into regions handed to `sink`.
class SmapsParser {
  public:
    explicit SmapsParser(std::function<void(const MemRegion&)> sink) : sink_(std::move(sink)) {}
    void line(std::string_view line);
    // Hands over the last region; call once after the last line.
    void finish();
    size_t regions() const { return regions_; }

  private:
    std::function<void(const MemRegion&)> sink_;
    std::string path_;
    MemRegion current_;
    bool open_ = false;
    size_t regions_ = 0;
};

// Open descriptors, socket tables and memory mappings of processes under a /proc root.
class LinuxProcFiles {
  public:
    explicit LinuxProcFiles(std::string procRoot = "/proc");

    // Walks <pid>/fd. With `files`, regular files and directories are told apart from
    // devices, pipes and the like by following each link; without, only sockets are
    // gathered. False when the process does not exist.
    bool scanFds(int32_t pid, bool files, size_t keepFiles, FdScan& out) const;
    // The Internet sockets of the network namespace `pid` lives in, from its TCP tables,
    // its UDP tables or both; appended to `out`. False when none could be read.
    bool inetSockets(int32_t pid, bool tcp, bool udp, std::vector<InetEntry>& out) const;
    // Whether `pid` lives in the same network namespace as this process, so that what the
    // socket-diagnostics interface reports here covers its sockets too.
    bool sharesNetNamespace(int32_t pid) const;
    // Streams <pid>/smaps through `sink`. False when it cannot be read (another user's
    // process, a vanished one).
    bool memoryRegions(int32_t pid, const std::function<void(const MemRegion&)>& sink) const;

    // Appends the rows of one socket table text. Rows that do not parse are skipped.
    static void parseInetTable(std::string_view text, uint8_t family, bool udp, std::vector<InetEntry>& out);

  private:
    std::string root_;
};

}  // namespace velmora::platform
