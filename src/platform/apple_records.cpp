#include "platform/apple_records.h"

#include <cerrno>
#include <cstring>

namespace velmora::platform {

namespace {

using namespace appleLayout;

template <typename T>
T load(std::string_view record, size_t offset) {
    T v;
    std::memcpy(&v, record.data() + offset, sizeof v);
    return v;
}

// A NUL-terminated name in a fixed field; the whole field when it has no NUL.
std::string fieldText(std::string_view record, size_t offset, size_t capacity) {
    const std::string_view field = record.substr(offset, capacity);
    return std::string(field.substr(0, field.find('\0')));
}

// The kernel cuts at most this many bytes off a command name's field for its terminator.
constexpr size_t kCutNameMinimum = kCommandNameBytes - 1;

}  // namespace

ProcRunState appleRunState(uint32_t status) {
    switch (status) {
        case kStateIdle:
            return ProcRunState::idle;
        case kStateRunning:
            return ProcRunState::running;
        case kStateSleeping:
            return ProcRunState::sleeping;
        case kStateStopped:
            return ProcRunState::stopped;
        case kStateZombie:
            return ProcRunState::zombie;
        default:
            return ProcRunState::unknown;
    }
}

std::optional<ProcFacts> decodeBsdInfo(std::string_view record) {
    if (record.size() != kBsdInfoSize) return std::nullopt;
    ProcFacts f;
    f.name = fieldText(record, kBsdName, 2 * kCommandNameBytes);
    if (f.name.empty()) f.name = fieldText(record, kBsdComm, kCommandNameBytes);
    f.ppid = load<int32_t>(record, kBsdPpid);
    f.uid = load<uint32_t>(record, kBsdUid);
    f.startEpochSec = static_cast<int64_t>(load<uint64_t>(record, kBsdStartSeconds));
    f.state = appleRunState(load<uint32_t>(record, kBsdStatus));
    return f;
}

std::optional<ProcFacts> decodeShortBsdInfo(std::string_view record) {
    if (record.size() != kShortInfoSize) return std::nullopt;
    ProcFacts f;
    f.name = fieldText(record, kShortComm, kCommandNameBytes);
    f.ppid = load<int32_t>(record, kShortPpid);
    f.uid = load<uint32_t>(record, kShortUid);
    f.state = appleRunState(load<uint32_t>(record, kShortStatus));
    return f;
}

std::optional<ProcFacts> decodeKinfoProc(std::string_view record) {
    if (record.size() != kKinfoSize) return std::nullopt;
    ProcFacts f;
    f.name = fieldText(record, kKinfoComm, kCommandNameBytes + 1);
    f.ppid = load<int32_t>(record, kKinfoPpid);
    f.uid = load<uint32_t>(record, kKinfoUid);
    f.startEpochSec = load<int64_t>(record, kKinfoStartSeconds);
    f.state = appleRunState(load<uint8_t>(record, kKinfoStat));
    return f;
}

std::string fullCommandName(const std::string& kernelName, std::string_view executablePath) {
    if (kernelName.size() < kCutNameMinimum) return kernelName;
    const size_t slash = executablePath.rfind('/');
    const std::string_view file =
        slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
    if (file.size() > kernelName.size() && file.substr(0, kernelName.size()) == kernelName)
        return std::string(file);
    return kernelName;
}

std::optional<ProcFacts> appleFacts(int32_t pid, AppleFactRecords& records) {
    std::optional<ProcFacts> f;
    bool cut = false;
    if (const auto full = records.bsdInfo(pid)) f = decodeBsdInfo(*full);
    if (!f) {
        if (const auto brief = records.shortBsdInfo(pid)) f = decodeShortBsdInfo(*brief);
        const auto entry = records.kinfoProc(pid);
        const auto fromEntry = entry ? decodeKinfoProc(*entry) : std::nullopt;
        if (f && fromEntry)
            f->startEpochSec = fromEntry->startEpochSec;
        else if (!f)
            f = fromEntry;
        cut = true;
    }
    if (!f) return std::nullopt;
    f->pid = pid;
    f->path = records.executablePath(pid);
    if (cut) f->name = fullCommandName(f->name, f->path);
    return f;
}

bool decodeRusage(std::string_view record, ProcCounters& out) {
    const bool withEnergy = record.size() == kRusageV6Size;
    if (!withEnergy && record.size() != kRusageV2Size) return false;
    out.startTime = load<uint64_t>(record, kStartAbsTime);
    out.cpuTicks = load<uint64_t>(record, kUserTime) + load<uint64_t>(record, kSystemTime);
    out.wakeups = load<uint64_t>(record, kPkgIdleWakeups) + load<uint64_t>(record, kInterruptWakeups);
    out.memBytes = load<uint64_t>(record, kPhysFootprint);
    out.diskReadBytes = load<uint64_t>(record, kDiskBytesRead);
    out.diskWriteBytes = load<uint64_t>(record, kDiskBytesWritten);
    out.energyNJ.reset();
    if (withEnergy) out.energyNJ = load<uint64_t>(record, kEnergyNanojoules);
    return true;
}

bool readRusage(int32_t pid, bool newerLayout, RusageCall& call, ProcCounters& out) {
    alignas(8) char buffer[kRusageV6Size];
    if (newerLayout) {
        std::memset(buffer, 0, sizeof buffer);
        const int error = call.read(pid, kRusageFlavorV6, buffer);
        if (error == 0) return decodeRusage(std::string_view(buffer, kRusageV6Size), out);
        if (error == EPERM || error == EACCES || error == ESRCH) return false;
    }
    std::memset(buffer, 0, kRusageV2Size);
    if (call.read(pid, kRusageFlavorV2, buffer) != 0) return false;
    return decodeRusage(std::string_view(buffer, kRusageV2Size), out);
}

}  // namespace velmora::platform
