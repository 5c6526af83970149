#pragma once

#include "platform/linux/proc_names.h"
#include "platform/process.h"

#include <dirent.h>

#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// Processes from <procRoot>/<pid>/{stat,io,statm,schedstat}.
//
// - CPU: utime + stime of stat, in clock ticks (CLK_TCK per second).
// - Memory: statm's resident pages minus its file-backed and shared ones. What remains is
//   the process's own anonymous memory in RAM, the part of a physical footprint that
//   freeing the process gives back; page cache it merely maps is left out.
// - Disk: read_bytes and write_bytes of io, the bytes that reached the storage layer.
// - Wakeups: the run count of schedstat (how often the main thread was put on a CPU). No
//   energy counter exists, so the wakeup-based energy figure applies.
// - Own or refused: the kernel refuses another user's io counters (EACCES) to an
//   unprivileged reader; those processes are refused ones, reported with their stat CPU
//   ticks and resident size. Kernel threads are always refused ones: like the kernel task
//   elsewhere they have no usage record of their own. Zombies have nothing left to report
//   and are skipped.
class LinuxProcessSource : public ProcessSource {
  public:
    explicit LinuxProcessSource(std::string procRoot = "/proc");
    ~LinuxProcessSource() override;
    LinuxProcessSource(const LinuxProcessSource&) = delete;
    LinuxProcessSource& operator=(const LinuxProcessSource&) = delete;

    TimeBase timeBase() override;
    bool read(std::vector<ProcCounters>& own, std::vector<RefusedProc>* refused) override;
    QString processName(int32_t pid) override;

    static bool parseStatm(std::string_view text, uint64_t& residentPages, uint64_t& sharedPages);
    static bool parseIo(std::string_view text, uint64_t& readBytes, uint64_t& writeBytes);
    static bool parseSchedstat(std::string_view text, uint64_t& runs);

  protected:
    // Reads the proc entry `relative` (e.g. "42/io") into `text`, valid until the next
    // call. Returns 0, or the errno of the failure.
    virtual int readEntry(const char* relative, std::string_view& text);

  private:
    bool listPids();

    std::string root_;
    int procFd_ = -1;
    DIR* dir_ = nullptr;
    uint64_t pageSize_ = 4096;
    uint32_t clockTicks_ = 100;
    bool ioAccounting_ = true;
    bool schedstat_ = true;
    std::vector<int32_t> pids_;
    std::vector<char> buf_;
    std::string comm_;
    ProcNameCache names_;
};

}  // namespace velmora::platform
