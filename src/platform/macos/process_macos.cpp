// Processes from libproc: the pid list, per-process usage records and names; refused
// processes from the process-status command.
#include "platform/apple_records.h"
#include "platform/process.h"

#include <QProcess>

#include <libproc.h>
#include <mach/mach_time.h>
#include <sys/proc_info.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace velmora::platform {

namespace {

// The portable decoder reads the usage records by offset; the headers must agree.
namespace L = appleLayout;
static_assert(RUSAGE_INFO_V2 == L::kRusageFlavorV2 && sizeof(rusage_info_v2) == L::kRusageV2Size);
#define VELMORA_RUSAGE_FIELD(record, field, offset) \
    static_assert(offsetof(record, field) == (offset) && sizeof(record::field) == 8)
VELMORA_RUSAGE_FIELD(rusage_info_v2, ri_user_time, L::kUserTime);
VELMORA_RUSAGE_FIELD(rusage_info_v2, ri_system_time, L::kSystemTime);
VELMORA_RUSAGE_FIELD(rusage_info_v2, ri_pkg_idle_wkups, L::kPkgIdleWakeups);
VELMORA_RUSAGE_FIELD(rusage_info_v2, ri_interrupt_wkups, L::kInterruptWakeups);
VELMORA_RUSAGE_FIELD(rusage_info_v2, ri_phys_footprint, L::kPhysFootprint);
VELMORA_RUSAGE_FIELD(rusage_info_v2, ri_proc_start_abstime, L::kStartAbsTime);
VELMORA_RUSAGE_FIELD(rusage_info_v2, ri_diskio_bytesread, L::kDiskBytesRead);
VELMORA_RUSAGE_FIELD(rusage_info_v2, ri_diskio_byteswritten, L::kDiskBytesWritten);
#ifdef RUSAGE_INFO_V6
static_assert(RUSAGE_INFO_V6 == L::kRusageFlavorV6 && sizeof(rusage_info_v6) == L::kRusageV6Size);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_user_time, L::kUserTime);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_system_time, L::kSystemTime);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_pkg_idle_wkups, L::kPkgIdleWakeups);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_interrupt_wkups, L::kInterruptWakeups);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_phys_footprint, L::kPhysFootprint);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_proc_start_abstime, L::kStartAbsTime);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_diskio_bytesread, L::kDiskBytesRead);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_diskio_byteswritten, L::kDiskBytesWritten);
VELMORA_RUSAGE_FIELD(rusage_info_v6, ri_energy_nj, L::kEnergyNanojoules);
#endif
#undef VELMORA_RUSAGE_FIELD

constexpr int kNameBuffer = 4096;
constexpr int kCommandTimeoutMs = 10000;

TimeBase machTimeBase() {
    static const TimeBase base = [] {
        mach_timebase_info_data_t info{};
        if (mach_timebase_info(&info) != KERN_SUCCESS || info.numer == 0 || info.denom == 0)
            return TimeBase{1, 1};
        return TimeBase{info.numer, info.denom};
    }();
    return base;
}

// The usage record with the energy counter exists from system version 14 on.
bool newerUsageLayout() {
#ifdef RUSAGE_INFO_V6
    if (__builtin_available(macOS 14.0, *)) return true;
#endif
    return false;
}

class KernelRusageCall : public RusageCall {
  public:
    int read(int32_t pid, int flavor, void* buffer) override {
        return proc_pid_rusage(pid, flavor, static_cast<rusage_info_t*>(buffer)) == 0 ? 0 : errno;
    }
};

class MacProcessSource : public ProcessSource {
  public:
    TimeBase timeBase() override { return machTimeBase(); }

    bool read(std::vector<ProcCounters>& own, std::vector<RefusedProc>* refused) override {
        own.clear();
        if (refused) refused->clear();
        const int n = proc_listallpids(nullptr, 0);
        if (n < 1) return false;
        pids_.assign(static_cast<size_t>(n), 0);
        int m = proc_listallpids(pids_.data(), n * static_cast<int>(sizeof(pid_t)));
        if (m < 1) return false;
        m = std::min(m, n);

        for (int i = 0; i < m; ++i) {
            const pid_t pid = pids_[static_cast<size_t>(i)];
            if (pid < 1) continue;
            ProcCounters c;
            if (!readUsage(pid, c)) continue;
            c.pid = pid;
            c.name = processName(pid);
            own.push_back(std::move(c));
        }

        if (refused) {
            for (const auto& [pid, row] : SystemProcHelper::read())
                refused->push_back({pid, 0, row.name, row.cpu, 0, row.rss});
        }
        return true;
    }

    QString processName(int32_t pid) override {
        char buf[kNameBuffer];
        std::memset(buf, 0, sizeof buf);
        if (proc_name(pid, buf, sizeof buf) > 0) return displayProcessName(QByteArrayView(buf), pid);
        char path[kNameBuffer];
        std::memset(path, 0, sizeof path);
        if (proc_pidpath(pid, path, sizeof path) > 0) {
            const char* slash = std::strrchr(path, '/');
            return displayProcessName(QByteArrayView(slash ? slash + 1 : path), pid);
        }
        return pidName(pid);
    }

  private:
    static bool readUsage(pid_t pid, ProcCounters& c) {
        static const bool newer = newerUsageLayout();
        KernelRusageCall call;
        return readRusage(pid, newer, call, c);
    }

    std::vector<pid_t> pids_;
};

}  // namespace

std::unique_ptr<ProcessSource> makeProcessSource() {
    return std::make_unique<MacProcessSource>();
}

namespace SystemProcHelper {

std::map<int32_t, Row> read() {
    QProcess ps;
    ps.setProgram(QStringLiteral("/bin/ps"));
    ps.setArguments({QStringLiteral("-Ao"), QStringLiteral("pid=,%cpu=,rss=,ucomm=")});
    ps.setProcessEnvironment(toolEnvironment());
    // Discarded rather than piped: an unread pipe could fill and stall the command.
    ps.setStandardErrorFile(QProcess::nullDevice());
    ps.start();
    if (!ps.waitForStarted()) return {};
    if (!ps.waitForFinished(kCommandTimeoutMs)) {
        ps.kill();
        ps.waitForFinished();
        return {};
    }
    return parse(decodeLinesLossy(ps.readAllStandardOutput()));
}

}  // namespace SystemProcHelper

}  // namespace velmora::platform
