// Process facts from libproc and sysctl.
#include "platform/apple_records.h"
#include "platform/macos/running_application.h"
#include "platform/process_facts.h"

#include <libproc.h>
#include <mach/mach_time.h>
#include <sys/proc_info.h>
#include <sys/sysctl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace velmora::platform {

namespace {

// The portable decoders read these records by offset; the headers must agree.
namespace L = appleLayout;
static_assert(sizeof(proc_bsdinfo) == L::kBsdInfoSize);
static_assert(offsetof(proc_bsdinfo, pbi_status) == L::kBsdStatus && sizeof(proc_bsdinfo::pbi_status) == 4);
static_assert(offsetof(proc_bsdinfo, pbi_ppid) == L::kBsdPpid && sizeof(proc_bsdinfo::pbi_ppid) == 4);
static_assert(offsetof(proc_bsdinfo, pbi_uid) == L::kBsdUid && sizeof(proc_bsdinfo::pbi_uid) == 4);
static_assert(offsetof(proc_bsdinfo, pbi_comm) == L::kBsdComm && sizeof(proc_bsdinfo::pbi_comm) == MAXCOMLEN);
static_assert(offsetof(proc_bsdinfo, pbi_name) == L::kBsdName &&
              sizeof(proc_bsdinfo::pbi_name) == 2 * MAXCOMLEN);
static_assert(offsetof(proc_bsdinfo, pbi_start_tvsec) == L::kBsdStartSeconds &&
              sizeof(proc_bsdinfo::pbi_start_tvsec) == 8);
static_assert(sizeof(proc_bsdshortinfo) == L::kShortInfoSize);
static_assert(offsetof(proc_bsdshortinfo, pbsi_ppid) == L::kShortPpid &&
              sizeof(proc_bsdshortinfo::pbsi_ppid) == 4);
static_assert(offsetof(proc_bsdshortinfo, pbsi_status) == L::kShortStatus &&
              sizeof(proc_bsdshortinfo::pbsi_status) == 4);
static_assert(offsetof(proc_bsdshortinfo, pbsi_comm) == L::kShortComm &&
              sizeof(proc_bsdshortinfo::pbsi_comm) == MAXCOMLEN);
static_assert(offsetof(proc_bsdshortinfo, pbsi_uid) == L::kShortUid &&
              sizeof(proc_bsdshortinfo::pbsi_uid) == 4);
static_assert(sizeof(kinfo_proc) == L::kKinfoSize);
static_assert(offsetof(kinfo_proc, kp_proc.p_starttime.tv_sec) == L::kKinfoStartSeconds &&
              sizeof(kinfo_proc::kp_proc.p_starttime.tv_sec) == 8);
static_assert(offsetof(kinfo_proc, kp_proc.p_stat) == L::kKinfoStat &&
              sizeof(kinfo_proc::kp_proc.p_stat) == 1);
static_assert(offsetof(kinfo_proc, kp_proc.p_comm) == L::kKinfoComm &&
              sizeof(kinfo_proc::kp_proc.p_comm) == MAXCOMLEN + 1);
static_assert(offsetof(kinfo_proc, kp_eproc.e_ppid) == L::kKinfoPpid &&
              sizeof(kinfo_proc::kp_eproc.e_ppid) == 4);
static_assert(offsetof(kinfo_proc, kp_eproc.e_ucred.cr_uid) == L::kKinfoUid &&
              sizeof(kinfo_proc::kp_eproc.e_ucred.cr_uid) == 4);
static_assert(MAXCOMLEN == L::kCommandNameBytes);
static_assert(SIDL == L::kStateIdle && SRUN == L::kStateRunning && SSLEEP == L::kStateSleeping &&
              SSTOP == L::kStateStopped && SZOMB == L::kStateZombie);

// The longest argument area the kernel hands out; asked once.
size_t argumentAreaSize() {
    static const size_t size = [] {
        int mib[2] = {CTL_KERN, KERN_ARGMAX};
        int value = 0;
        size_t length = sizeof value;
        return sysctl(mib, 2, &value, &length, nullptr, 0) == 0 && value > 0 ? static_cast<size_t>(value) : 0;
    }();
    return size;
}

std::string commandOf(int32_t pid) {
    // One read into a buffer of the largest possible size: asking for the size first
    // races with a process that changes its arguments in between.
    const size_t capacity = argumentAreaSize();
    if (capacity < 5) return {};
    std::unique_ptr<char[]> buf(new char[capacity]);
    int mib[3] = {CTL_KERN, KERN_PROCARGS2, pid};
    size_t size = capacity;
    if (sysctl(mib, 3, buf.get(), &size, nullptr, 0) != 0) return {};
    return decodeAppleProcArgs(std::string_view(buf.get(), std::min(size, capacity)));
}

template <typename Record>
std::optional<std::string> pidInfo(int32_t pid, int flavor) {
    std::string bytes(sizeof(Record), '\0');
    if (proc_pidinfo(pid, flavor, 0, bytes.data(), static_cast<int>(bytes.size())) !=
        static_cast<int>(bytes.size()))
        return std::nullopt;
    return bytes;
}

class KernelFactRecords : public AppleFactRecords {
  public:
    std::optional<std::string> bsdInfo(int32_t pid) override {
        return pidInfo<proc_bsdinfo>(pid, PROC_PIDTBSDINFO);
    }

    std::optional<std::string> shortBsdInfo(int32_t pid) override {
        return pidInfo<proc_bsdshortinfo>(pid, PROC_PIDT_SHORTBSDINFO);
    }

    std::optional<std::string> kinfoProc(int32_t pid) override {
        int mib[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
        std::string bytes(sizeof(kinfo_proc), '\0');
        size_t size = bytes.size();
        // A pid without a process answers success with nothing written.
        if (sysctl(mib, 4, bytes.data(), &size, nullptr, 0) != 0 || size != bytes.size()) return std::nullopt;
        return bytes;
    }

    std::string executablePath(int32_t pid) override {
        char path[PROC_PIDPATHINFO_MAXSIZE];
        const int n = proc_pidpath(pid, path, sizeof path);
        return n >= 1 ? std::string(path, strnlen(path, sizeof path)) : std::string();
    }
};

class AppleProcessFacts : public ProcessFactsSource {
  public:
    AppleProcessFacts() {
        mach_timebase_info_data_t tb{};
        if (mach_timebase_info(&tb) == KERN_SUCCESS && tb.denom != 0)
            nanosPerTick_ = static_cast<double>(tb.numer) / static_cast<double>(tb.denom);
    }

    std::optional<ProcFacts> facts(int32_t pid) override {
        KernelFactRecords records;
        auto f = appleFacts(pid, records);
        if (!f) return std::nullopt;
        f->command = commandOf(pid);
        f->arch = appleArchText(runningApplicationArchitecture(pid));
        return f;
    }

    std::optional<ProcLiveCounters> counters(int32_t pid) override {
        proc_taskinfo ti{};
        if (proc_pidinfo(pid, PROC_PIDTASKINFO, 0, &ti, sizeof ti) != static_cast<int>(sizeof ti))
            return std::nullopt;
        ProcLiveCounters c;
        c.threads = ti.pti_threadnum;
        c.residentBytes = ti.pti_resident_size;
        c.virtualBytes = ti.pti_virtual_size;
        // The task times are in Mach time units, which are nanoseconds only on Intel.
        c.cpuSeconds = static_cast<double>(ti.pti_total_user + ti.pti_total_system) * nanosPerTick_ / 1e9;
        return c;
    }

    std::vector<int32_t> childPids(int32_t pid) override {
        std::vector<pid_t> buf(4096);
        // proc_listpids reports bytes written, whatever the version of libproc.
        const int bytes = proc_listpids(PROC_PPID_ONLY, static_cast<uint32_t>(pid), buf.data(),
                                        static_cast<int>(buf.size() * sizeof(pid_t)));
        std::vector<int32_t> out;
        if (bytes <= 0) return out;
        const size_t count = std::min(buf.size(), static_cast<size_t>(bytes) / sizeof(pid_t));
        for (size_t i = 0; i < count; ++i)
            if (buf[i] >= 2) out.push_back(buf[i]);
        return out;
    }

  private:
    double nanosPerTick_ = 1.0;
};

}  // namespace

ProcessFactsSource& systemProcessFacts() {
    static AppleProcessFacts source;
    return source;
}

}  // namespace velmora::platform
