// Process facts from libproc and sysctl.
#include "platform/macos/running_application.h"
#include "platform/process_facts.h"

#include <libproc.h>
#include <mach/mach_time.h>
#include <sys/proc_info.h>
#include <sys/sysctl.h>

#include <algorithm>
#include <cstring>

namespace velmora::platform {

namespace {

ProcRunState stateFromStatus(uint32_t status) {
    switch (status) {
        case SIDL:
            return ProcRunState::idle;
        case SRUN:
            return ProcRunState::running;
        case SSLEEP:
            return ProcRunState::sleeping;
        case SSTOP:
            return ProcRunState::stopped;
        case SZOMB:
            return ProcRunState::zombie;
        default:
            return ProcRunState::unknown;
    }
}

std::string fixedText(const char* text, size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

std::string commandOf(int32_t pid) {
    int mib[3] = {CTL_KERN, KERN_PROCARGS2, pid};
    size_t size = 0;
    if (sysctl(mib, 3, nullptr, &size, nullptr, 0) != 0 || size < 5) return {};
    std::string buf(size, '\0');
    if (sysctl(mib, 3, buf.data(), &size, nullptr, 0) != 0) return {};
    buf.resize(size);
    return decodeAppleProcArgs(buf);
}

class AppleProcessFacts : public ProcessFactsSource {
  public:
    AppleProcessFacts() {
        mach_timebase_info_data_t tb{};
        if (mach_timebase_info(&tb) == KERN_SUCCESS && tb.denom != 0)
            nanosPerTick_ = static_cast<double>(tb.numer) / static_cast<double>(tb.denom);
    }

    std::optional<ProcFacts> facts(int32_t pid) override {
        proc_bsdinfo bi{};
        if (proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &bi, sizeof bi) != static_cast<int>(sizeof bi))
            return std::nullopt;
        ProcFacts f;
        f.pid = pid;
        f.name = fixedText(bi.pbi_name, sizeof bi.pbi_name);
        if (f.name.empty()) f.name = fixedText(bi.pbi_comm, sizeof bi.pbi_comm);
        char path[4096];
        const int n = proc_pidpath(pid, path, sizeof path);
        if (n >= 1) f.path.assign(path, strnlen(path, sizeof path));
        f.ppid = static_cast<int32_t>(bi.pbi_ppid);
        f.uid = bi.pbi_uid;
        f.startEpochSec = static_cast<int64_t>(bi.pbi_start_tvsec);
        f.state = stateFromStatus(bi.pbi_status);
        f.command = commandOf(pid);
        f.arch = appleArchText(runningApplicationArchitecture(pid));
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
