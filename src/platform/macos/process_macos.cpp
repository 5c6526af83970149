// Processes from libproc: the pid list, per-process usage records and names; refused
// processes from the process-status command.
#include "platform/process.h"

#include <QProcess>

#include <libproc.h>
#include <mach/mach_time.h>
#include <sys/proc_info.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>

namespace velmora::platform {

namespace {

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

#ifdef RUSAGE_INFO_V6
// The usage record with the energy counter exists from system version 14 on.
bool newerUsageLayout() {
    if (__builtin_available(macOS 14.0, *)) return true;
    return false;
}
#endif

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
#ifdef RUSAGE_INFO_V6
        if (newerUsageLayout()) {
            rusage_info_v6 info;
            std::memset(&info, 0, sizeof info);
            if (proc_pid_rusage(pid, RUSAGE_INFO_V6, reinterpret_cast<rusage_info_t*>(&info)) == 0) {
                fill(info, c);
                c.energyNJ = info.ri_energy_nj;
                return true;
            }
        }
#endif
        rusage_info_v2 info;
        std::memset(&info, 0, sizeof info);
        if (proc_pid_rusage(pid, RUSAGE_INFO_V2, reinterpret_cast<rusage_info_t*>(&info)) != 0) return false;
        fill(info, c);
        return true;
    }

    template <typename Info>
    static void fill(const Info& info, ProcCounters& c) {
        c.startTime = info.ri_proc_start_abstime;
        c.cpuTicks = info.ri_user_time + info.ri_system_time;
        c.wakeups = info.ri_pkg_idle_wkups + info.ri_interrupt_wkups;
        c.memBytes = info.ri_phys_footprint;
        c.diskReadBytes = info.ri_diskio_bytesread;
        c.diskWriteBytes = info.ri_diskio_byteswritten;
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
    // Discarded rather than piped: an unread pipe could fill and stall the command.
    ps.setStandardErrorFile(QProcess::nullDevice());
    ps.start();
    if (!ps.waitForStarted()) return {};
    if (!ps.waitForFinished(kCommandTimeoutMs)) {
        ps.kill();
        ps.waitForFinished();
        return {};
    }
    const std::optional<QString> text = decodeUtf8(ps.readAllStandardOutput());
    return text ? parse(*text) : std::map<int32_t, Row>{};
}

}  // namespace SystemProcHelper

}  // namespace velmora::platform
