#pragma once

#include <cstdint>
#include <string_view>

namespace velmora::platform {

// The fields of /proc/<pid>/stat that Velmora uses. Times are in clock ticks (CLK_TCK),
// `starttime` in ticks since boot, `rssPages` in pages.
struct PidStat {
    int32_t pid = 0;
    std::string_view comm;  // points into the parsed text; at most 15 bytes, may hold any byte
    char state = '?';
    int32_t ppid = 0;
    uint32_t flags = 0;   // PF_* bits; PF_KTHREAD (0x00200000) marks a kernel thread
    uint64_t minflt = 0;  // page faults of all threads, minor and major
    uint64_t majflt = 0;
    uint64_t utime = 0;
    uint64_t stime = 0;
    uint64_t cutime = 0;  // of the children it has waited for, their own children's included
    uint64_t cstime = 0;
    int64_t priority = 0;
    int64_t nice = 0;
    int64_t numThreads = 0;
    uint64_t starttime = 0;
    uint64_t vsize = 0;
    int64_t rssPages = 0;
};

// Parses one /proc/<pid>/stat line. The name sits between the first "(" and the last ")",
// so names holding spaces, parentheses or newlines parse correctly. False when malformed.
bool parsePidStat(std::string_view text, PidStat& out);

}  // namespace velmora::platform
