#pragma once

#include "platform/linux/proc_names.h"
#include "platform/linux/proc_pid.h"
#include "platform/process.h"

#include <dirent.h>

#include <sys/types.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velmora::platform {

// Processes from <procRoot>/<pid>/{stat,io,statm,schedstat}.
//
// - CPU: utime + stime of stat, in clock ticks (CLK_TCK per second).
// - Memory: statm's resident pages minus its file-backed and shared ones. What remains is
//   the process's own anonymous memory in RAM, the part of a physical footprint that
//   ending the process gives back; page cache it merely maps is left out.
// - Disk: read_bytes and write_bytes of io, the bytes that reached the storage layer.
// - Wakeups: the run count of schedstat (how often the main thread was put on a CPU). No
//   energy counter exists, so the wakeup-based energy figure applies.
// - Own or refused: the kernel refuses another user's io counters (EACCES) to an
//   unprivileged reader; those processes are refused ones, reported with their stat CPU
//   ticks and resident size. Kernel threads are always refused ones: like the kernel task
//   elsewhere they have no usage record of their own. Zombies have nothing left to report
//   and are skipped.
//
// Every listed pid ends in one outcome (PidOutcome): a row, or the reason it is in neither
// list; the last read's count of each is kept for the caller.
//
// Cost: a tick reads up to four small files per process, and a system call is most of
// the cost of each read. statm is read again only when stat shows that the resident size
// or the page-fault counts moved: memory does not change otherwise. The files stay open between ticks and are
// re-read in place (pread), one call per file instead of three; an open file keeps answering for its own
// process only, so a reused pid fails the read and is opened afresh. The descriptors kept stay within a
// budget of half the open-file limit, which the reader raises to its hard limit (at most
// 16 384) when it is lower; past the budget files are opened per read.
class LinuxProcessSource : public ProcessSource {
  public:
    explicit LinuxProcessSource(std::string procRoot = "/proc");
    ~LinuxProcessSource() override;
    LinuxProcessSource(const LinuxProcessSource&) = delete;
    LinuxProcessSource& operator=(const LinuxProcessSource&) = delete;

    // What became of one listed pid in a read.
    enum class PidOutcome : uint8_t {
        read,        // an own row
        refused,     // a refused row (another user's, a kernel thread)
        zombie,      // ended and not yet reaped: nothing left to report
        vanished,    // gone between the listing and its reading
        unreadable,  // a file the process still has could not be read
        malformed,   // a file was read but not understood
    };
    static constexpr size_t kPidOutcomes = 6;
    using OutcomeCounts = std::array<uint32_t, kPidOutcomes>;

    TimeBase timeBase() override;
    bool read(std::vector<ProcCounters>& own, std::vector<RefusedProc>* refused) override;
    QString processName(int32_t pid) override;
    // Start times are clock ticks since boot.
    std::optional<uint64_t> startClockNow() override;

    void releaseKeptFiles() override;

    // Descriptors held open between reads.
    size_t keptDescriptors() const { return kept_; }
    void setDescriptorBudget(size_t budget) { budget_ = budget; }
    // How many pids of the last read ended in each outcome, indexed by PidOutcome.
    const OutcomeCounts& lastOutcomes() const { return outcomes_; }
    uint32_t lastCount(PidOutcome outcome) const { return outcomes_[static_cast<size_t>(outcome)]; }

    static bool parseStatm(std::string_view text, uint64_t& residentPages, uint64_t& sharedPages);
    static bool parseIo(std::string_view text, uint64_t& readBytes, uint64_t& writeBytes);
    static bool parseSchedstat(std::string_view text, uint64_t& runs);

    // The io counters of a process whose CPU time stood still since they were read are
    // taken as they were, and read again at least once in this many reads.
    static constexpr uint32_t kIoRefresh = 10;

  protected:
    // Opens the proc entry `relative` (e.g. "42/io") for reading: a descriptor, or minus
    // the errno of the failure.
    virtual int openEntry(const char* relative);
    // The owner of the process's directory, which is its effective user even when the
    // process has made itself non-dumpable (its files then belong to root); absent when gone.
    virtual std::optional<uid_t> ownerOf(int32_t pid);

  private:
    enum Slot { kStat, kIo, kStatm, kSchedstat, kSlots };
    struct PidState {
        uint64_t startTime = 0;
        std::array<int, kSlots> fd{-1, -1, -1, -1};
        bool started = false;   // startTime is known
        bool refused = false;   // another user's: io counters refused to us
        bool ioDenied = false;  // ours, but non-dumpable: io refused all the same
        uint32_t seen = 0;
        // Memory as last read from statm, and the stat figures it was read under.
        bool memKnown = false;
        int64_t memRss = 0;
        uint64_t memMinflt = 0;
        uint64_t memMajflt = 0;
        uint64_t memBytes = 0;
        // The io counters as last read, and the CPU time they were read at.
        bool ioKnown = false;
        uint64_t ioTicks = 0;
        uint64_t readBytes = 0;
        uint64_t writeBytes = 0;

        // Another process now has the pid: nothing known of the old one applies.
        void forgetProcess() {
            refused = false;
            ioDenied = false;
            memKnown = false;
            ioKnown = false;
        }
    };

    bool listPids();
    // The readers of one pid: each returns `read` when the pid goes on to the next, or why it
    // stops.
    PidOutcome readPid(int32_t pid, PidState& state, std::vector<ProcCounters>& own,
                       std::vector<RefusedProc>* refused);
    PidOutcome readStat(int32_t pid, PidState& state, PidStat& st);
    PidOutcome readIo(int32_t pid, PidState& state, bool kernelThread, uint64_t ticks, uint64_t& readBytes,
                      uint64_t& writeBytes);
    PidOutcome readMemory(int32_t pid, PidState& state, const PidStat& st);
    uint64_t readRuns(int32_t pid, PidState& state);
    // Reads one entry of `pid` into `text` (valid until the next read). 0 or an errno.
    int readSlot(int32_t pid, PidState& state, Slot slot, std::string_view& text);
    // Reads the whole file behind `fd` from its start.
    int readFd(int fd, std::string_view& text);
    void closeSlot(PidState& state, Slot slot);
    void closeAll(PidState& state);

    std::string root_;
    int procFd_ = -1;
    DIR* dir_ = nullptr;
    uint64_t pageSize_ = 4096;
    uint32_t clockTicks_ = 100;
    bool ioAccounting_ = true;
    bool schedstat_ = true;
    size_t budget_ = 0;
    size_t kept_ = 0;
    uint32_t generation_ = 0;
    uid_t euid_ = 0;  // as of the current read
    OutcomeCounts outcomes_{};
    std::vector<int32_t> pids_;
    std::unordered_map<int32_t, PidState> states_;
    std::vector<char> buf_;
    std::string comm_;
    ProcNameCache names_;
};

}  // namespace velmora::platform
