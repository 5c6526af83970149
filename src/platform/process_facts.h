#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// The scheduler state of a process, reduced to what every system can tell.
enum class ProcRunState { unknown, idle, running, sleeping, stopped, zombie };

// Fixed facts about one process, as raw text and numbers.
struct ProcFacts {
    int32_t pid = 0;
    std::string name;
    std::string path;  // executable; empty when it cannot be read
    int32_t ppid = 0;
    uint32_t uid = 0;
    int64_t startEpochSec = 0;  // 0 when unknown
    ProcRunState state = ProcRunState::unknown;
    std::string command;     // the argument vector joined by single spaces; empty when unreadable
    std::string arch = "-";  // architecture of the executable, "-" when unknown
};

struct ProcLiveCounters {
    int threads = 0;
    uint64_t residentBytes = 0;
    uint64_t virtualBytes = 0;
    double cpuSeconds = 0;
};

// Per-process facts of the running system. Implementations keep no per-call state, so
// one instance serves several threads at once.
class ProcessFactsSource {
  public:
    virtual ~ProcessFactsSource() = default;
    // Absent when the process does not exist (or vanished while being read).
    virtual std::optional<ProcFacts> facts(int32_t pid) = 0;
    virtual std::optional<ProcLiveCounters> counters(int32_t pid) = 0;
    // Direct children with pids of 2 or more, in the order the system reports them.
    virtual std::vector<int32_t> childPids(int32_t pid) = 0;
};

// The running system's source, shared for the whole run.
ProcessFactsSource& systemProcessFacts();

// Decoders of raw process data. Portable, so each is tested on every system.

// NUL-separated strings starting at `data`: keeps at most `maxCount` of them (all when
// negative), skips empty ones and ones that are not valid UTF-8 (they still count), and
// joins the rest with single spaces.
std::string joinArguments(std::string_view data, int maxCount = -1);

// The argument buffer the kernel hands out for a process on Apple systems: a native 32-bit
// argc, the executable path, NUL padding, then the argument strings and the environment.
// Only the arguments are read. Empty when the buffer is malformed.
std::string decodeAppleProcArgs(std::string_view buffer);

// The processor architecture an ELF file header names: "x86_64", "arm64", "i386 (32-bit)",
// ...; "-" when the bytes are no ELF header or name a machine not listed.
std::string elfArchText(std::string_view header);

// The architecture text of a running Apple application from its bundle's executable
// architecture code: "x86_64 (Intel/Rosetta)", "arm64 (Apple Silicon)", else "-". Absent
// (a process that is no application) is "-" as well.
std::string appleArchText(std::optional<int64_t> executableArchitecture);

// Whether `text` is valid UTF-8.
bool isValidUtf8(std::string_view text);

}  // namespace velmora::platform
