#pragma once

#include "platform/process_facts.h"

#include <string>
#include <string_view>

namespace velmora::platform {

// Process facts from <procRoot>/<pid>/{stat,status,cmdline,exe} and the boot time in
// <procRoot>/stat. Thread-safe: every call uses its own buffers.
class LinuxProcessFacts : public ProcessFactsSource {
  public:
    explicit LinuxProcessFacts(std::string procRoot = "/proc");

    std::optional<ProcFacts> facts(int32_t pid) override;
    std::optional<ProcLiveCounters> counters(int32_t pid) override;
    // From <pid>/task/*/children; a scan of every process's parent when the kernel does
    // not offer those files.
    std::vector<int32_t> childPids(int32_t pid) override;

    // The state letter of /proc/<pid>/stat: R running; S and D (waiting, interruptibly or
    // not) sleeping; I idle kernel thread; T and t (stopped, traced) stopped; Z zombie.
    static ProcRunState stateFromLetter(char letter);
    // The effective uid of a /proc/<pid>/status text (second figure of "Uid:").
    static std::optional<uint32_t> parseStatusUid(std::string_view status);
    // "btime" of /proc/stat, seconds since 1970.
    static std::optional<int64_t> parseBootTime(std::string_view stat);
    // The kernel keeps 15 bytes of a name; a longer one is recovered from the executable's
    // or argv[0]'s base name when that begins with the short one.
    static std::string displayName(std::string_view comm, std::string_view exePath, std::string_view argv0);

  private:
    std::string pidDir(int32_t pid) const;
    std::vector<int32_t> childPidsByScan(int32_t pid);

    std::string root_;
    int64_t bootTime_ = 0;
    long ticksPerSecond_ = 100;
    uint64_t pageSize_ = 4096;
};

}  // namespace velmora::platform
