#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace velmora::platform {

// Converts the platform's CPU-time ticks to nanoseconds: ns = ticks × numer ÷ denom.
struct TimeBase {
    uint32_t numer = 1;
    uint32_t denom = 1;
};

// Cumulative counters of one process whose usage the system reports to us.
struct ProcCounters {
    int32_t pid = 0;
    // Tells this process apart from an earlier one with the same pid; 0 when unknown.
    uint64_t startTime = 0;
    QString name;
    uint64_t cpuTicks = 0;  // user + system time, in TimeBase ticks
    // CPU time of the children it has waited for (theirs included), in TimeBase ticks; 0
    // where the system keeps no such counter.
    uint64_t childTicks = 0;
    int32_t ppid = 0;
    int32_t threads = 0;
    int32_t nice = 0;
    char state = 0;  // one-letter run state; 0 where the system has none
    uint64_t wakeups = 0;
    uint64_t memBytes = 0;  // physical footprint, or the closest figure the system has
    uint64_t diskReadBytes = 0;
    uint64_t diskWriteBytes = 0;
    std::optional<uint64_t> energyNJ;  // only where the system keeps an energy counter
};

// A process whose usage counters the system refuses to us (another user's, the kernel's).
// Either the system already knows a recent CPU figure for it, or we get its cumulative
// CPU ticks and work the figure out from two readings.
struct RefusedProc {
    int32_t pid = 0;
    uint64_t startTime = 0;
    QString name;
    std::optional<double> cpuPercent;
    uint64_t cpuTicks = 0;
    uint64_t residentBytes = 0;
    int32_t ppid = 0;
    int32_t threads = 0;
    int32_t nice = 0;
    char state = 0;
};

// Lists the running processes with their counters. Called from one thread at a time.
class ProcessSource {
  public:
    virtual ~ProcessSource() = default;
    virtual TimeBase timeBase() = 0;
    // Replaces `own` with every process whose counters could be read, in the system's pid
    // order, and, when `refused` is given, replaces it with the processes whose counters
    // were refused. A process that vanishes while being read is in neither list. False
    // when the processes cannot be listed at all.
    virtual bool read(std::vector<ProcCounters>& own, std::vector<RefusedProc>* refused) = 0;
    // The name a process goes by; "pid N" when nothing better is known.
    virtual QString processName(int32_t pid) = 0;
    // The present on the clock start times are read from, in their units (TimeBase ticks);
    // nothing where start times are not on such a clock.
    virtual std::optional<uint64_t> startClockNow() { return std::nullopt; }
    // Gives back whatever the source keeps open between reads while no one is reading.
    virtual void releaseKeptFiles() {}
};

std::unique_ptr<ProcessSource> makeProcessSource();

// A process name as given by the system, made safe to show: invalid UTF-8 becomes the
// replacement character and control characters (a name may carry newlines or terminal
// escapes) become "?". An empty name becomes "pid N".
QString displayProcessName(QByteArrayView raw, int32_t pid);
QString pidName(int32_t pid);

// Text of a command's output, or nothing when it is not valid UTF-8.
std::optional<QString> decodeUtf8(const QByteArray& bytes);

// Text of a command's output decoded line by line, lossily: a malformed sequence becomes
// U+FFFD and stays within its line. The kernel cuts process names bytewise, so a name cut
// inside a character must cost neither its own row nor the others.
QString decodeLinesLossy(const QByteArray& bytes);

// The environment for a command-line tool whose output is parsed: the user's, with the C
// locale for every category, so its numbers keep the decimal point and its words stay
// English whatever the user's language.
QProcessEnvironment toolEnvironment();

// Rows of the process-status command for processes whose counters are refused.
namespace SystemProcHelper {

struct Row {
    int32_t pid = 0;
    double cpu = 0;
    uint64_t rss = 0;  // bytes
    QString name;
};

// Parses the output of `ps -Ao pid=,%cpu=,rss=,ucomm=`: rows above 0.05 % CPU only; a
// malformed line is skipped; a later line for the same pid replaces an earlier one.
std::map<int32_t, Row> parse(const QString& text);
// Runs the command and parses its output, decoded line by line; empty when it cannot run.
// Only the Apple build has this command's per-process "now" figure; Linux reads /proc.
std::map<int32_t, Row> read();

}  // namespace SystemProcHelper

}  // namespace velmora::platform
