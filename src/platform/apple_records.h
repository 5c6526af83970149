#pragma once

#include "platform/process.h"
#include "platform/process_facts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform {

// Byte layouts of the kernel records the Apple readers receive (64-bit, in the machine's
// byte order). The Apple sources check every figure here against the system headers, so
// the decoders below stay portable and are tested on every system.
namespace appleLayout {

// proc_bsdinfo (PROC_PIDTBSDINFO): answered for the caller's own processes only.
inline constexpr size_t kBsdInfoSize = 136;
inline constexpr size_t kBsdStatus = 4;  // 32-bit
inline constexpr size_t kBsdPpid = 16;
inline constexpr size_t kBsdUid = 20;
inline constexpr size_t kBsdComm = 48;           // kCommandNameBytes
inline constexpr size_t kBsdName = 64;           // 2 × kCommandNameBytes
inline constexpr size_t kBsdStartSeconds = 120;  // 64-bit

// proc_bsdshortinfo (PROC_PIDT_SHORTBSDINFO): answered for every process.
inline constexpr size_t kShortInfoSize = 64;
inline constexpr size_t kShortPpid = 4;
inline constexpr size_t kShortStatus = 12;  // 32-bit
inline constexpr size_t kShortComm = 16;    // kCommandNameBytes
inline constexpr size_t kShortUid = 36;

// kinfo_proc (sysctl CTL_KERN, KERN_PROC, KERN_PROC_PID): answered for every process.
inline constexpr size_t kKinfoSize = 648;
inline constexpr size_t kKinfoStartSeconds = 0;  // 64-bit
inline constexpr size_t kKinfoStat = 36;         // 8-bit
inline constexpr size_t kKinfoComm = 243;        // kCommandNameBytes + 1
inline constexpr size_t kKinfoPpid = 560;
inline constexpr size_t kKinfoUid = 420;  // the effective user, as in the BSD records

// MAXCOMLEN: the command name's field in the BSD records.
inline constexpr size_t kCommandNameBytes = 16;

// Scheduler states of the BSD records (SIDL ... SZOMB).
inline constexpr uint32_t kStateIdle = 1;
inline constexpr uint32_t kStateRunning = 2;
inline constexpr uint32_t kStateSleeping = 3;
inline constexpr uint32_t kStateStopped = 4;
inline constexpr uint32_t kStateZombie = 5;

// rusage_info_v2 and rusage_info_v6 (proc_pid_rusage flavours 2 and 6): the newer record
// begins with every field of the older one. All counters are 64-bit.
inline constexpr int kRusageFlavorV2 = 2;
inline constexpr int kRusageFlavorV6 = 6;
inline constexpr size_t kRusageV2Size = 160;
inline constexpr size_t kRusageV6Size = 464;
inline constexpr size_t kUserTime = 16;
inline constexpr size_t kSystemTime = 24;
inline constexpr size_t kPkgIdleWakeups = 32;
inline constexpr size_t kInterruptWakeups = 40;
inline constexpr size_t kPhysFootprint = 72;
inline constexpr size_t kStartAbsTime = 80;
inline constexpr size_t kDiskBytesRead = 144;
inline constexpr size_t kDiskBytesWritten = 152;
inline constexpr size_t kEnergyNanojoules = 336;  // flavour 6 only

}  // namespace appleLayout

// The scheduler state of a BSD-record status value.
ProcRunState appleRunState(uint32_t status);

// One process's facts from each kind of record; nothing when the record has the wrong size.
// Only what the record holds is filled: the short record has no start time, and neither it
// nor the process-table entry has more than the cut command name.
std::optional<ProcFacts> decodeBsdInfo(std::string_view record);
std::optional<ProcFacts> decodeShortBsdInfo(std::string_view record);
std::optional<ProcFacts> decodeKinfoProc(std::string_view record);

// The kernel cuts command names bytewise to a few characters; when `kernelName` is that
// long and the executable's file name continues it, the file name is the full name.
std::string fullCommandName(const std::string& kernelName, std::string_view executablePath);

// Where the facts of one process come from on Apple systems. Each record call answers the
// record's bytes, or nothing when the kernel refuses it or the process is gone.
class AppleFactRecords {
  public:
    virtual ~AppleFactRecords() = default;
    virtual std::optional<std::string> bsdInfo(int32_t pid) = 0;
    virtual std::optional<std::string> shortBsdInfo(int32_t pid) = 0;
    virtual std::optional<std::string> kinfoProc(int32_t pid) = 0;
    // Empty when unknown.
    virtual std::string executablePath(int32_t pid) = 0;
};

// The facts from the full BSD record. Another user's process, which the kernel refuses that
// record, is described by the short record with the start time of its process-table entry,
// or by the entry alone when the short record is refused too; its name then comes from the
// executable where the kernel cut it. Absent when no record answers. The command line and
// the architecture are left to the caller.
std::optional<ProcFacts> appleFacts(int32_t pid, AppleFactRecords& records);

// The usage counters of a flavour-2 or flavour-6 usage record (the energy counter only from
// flavour 6), into `out`; false for any other size, leaving `out` as it was.
bool decodeRusage(std::string_view record, ProcCounters& out);

// The per-process usage call: fills `buffer` (room for the flavour's record) and answers 0,
// or the errno value of its failure.
class RusageCall {
  public:
    virtual ~RusageCall() = default;
    virtual int read(int32_t pid, int flavor, void* buffer) = 0;
};

// One process's usage counters: flavour 6 where the system has it (`newerLayout`), else
// flavour 2. Flavour 2 is also tried when flavour 6 fails for another reason than a refusal
// or a vanished process; those would only fail again. False when no flavour answered.
bool readRusage(int32_t pid, bool newerLayout, RusageCall& call, ProcCounters& out);

}  // namespace velmora::platform
