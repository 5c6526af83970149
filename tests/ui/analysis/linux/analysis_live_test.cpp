// Live checks on this machine's processes: short jobs get their share of the load.

#include "core/attribution.h"
#include "core/localizer.h"
#include "platform/linux/process_linux.h"
#include "samplers/process_sampler.h"
#include "support/test_util.h"
#include "ui/analysis/analysis_model.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;

namespace {

// Field `index` (1-based, after the name) of /proc/<pid>/stat.
uint64_t statField(pid_t pid, int index) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = f.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    // fields[0] is the state, the third field of the line.
    return index - 3 < fields.size() ? fields[index - 3].toULongLong() : 0;
}

uint64_t writeBytes(pid_t pid) {
    QFile f(QStringLiteral("/proc/%1/io").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("write_bytes:")) return line.mid(12).trimmed().toULongLong();
    return 0;
}

double monotonic() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::unique_ptr<ProcessSampler> machineSampler() {
    return std::make_unique<ProcessSampler>(std::make_unique<platform::LinuxProcessSource>(),
                                            [] { return ProcessSampler::Switches{false, false}; },
                                            ProcessSampler::GpuWalk{});
}

}  // namespace

// A copy that starts after one sample and is seen once, its first sight, is charged the
// bytes it wrote since it started: it shows in the disk list of that moment.
TEST(AnalysisLive, AShortCopyShowsInTheDiskList) {
    const QString dd = QStandardPaths::findExecutable(QStringLiteral("dd"));
    if (dd.isEmpty()) GTEST_SKIP() << "no dd";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto sampler = machineSampler();
    sampler->sample();

    QProcess copy;
    copy.start(dd, {QStringLiteral("of=") + dir.filePath(QStringLiteral("out")), QStringLiteral("bs=64k"),
                    QStringLiteral("iflag=fullblock"), QStringLiteral("conv=fsync"), QStringLiteral("status=none")});
    ASSERT_TRUE(copy.waitForStarted());
    const pid_t pid = static_cast<pid_t>(copy.processId());
    copy.write(QByteArray(4 << 20, 'x'));
    // Measured while it still runs (its input stays open), once its writes are counted.
    const bool wrote = test::waitUntil([&] {
        copy.waitForBytesWritten(10);
        return writeBytes(pid) >= (1u << 20);
    }, std::chrono::seconds(20));
    Snapshot s;
    s.processes = sampler->sample();
    s.processesMeasured = true;
    copy.closeWriteChannel();
    copy.waitForFinished();
    if (!wrote) GTEST_SKIP() << "this file system does not count written bytes";

    AttributionLog log;
    log.add(s);
    const std::deque<Snapshot> history{s};
    const std::deque<NetProcMonitor::Entry> net;
    const AnalysisInputs in{history, log, s, net, {}, s.time};
    bool listed = false;
    for (const AnalysisRow& r : ResourceAnalysis(AnalysisKind::disk).instantRows(in, s.time))
        if (r.pid == pid) listed = true;
    EXPECT_TRUE(listed) << "dd " << pid << " wrote " << writeBytes(pid);
}

// A process that forks workers living a few milliseconds each: none is seen by a sample,
// and their CPU is credited to the parent's children row.
TEST(AnalysisLive, AParentIsCreditedWithItsShortLivedWorkersCpu) {
    test::ForkedChild boss(+[] {
        for (;;) {
            const pid_t worker = fork();
            if (worker == 0) {
                timespec ts{};
                const auto used = [&] {
                    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
                    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
                };
                volatile uint64_t spin = 0;
                while (used() < 0.02)
                    spin = spin + 1;
                _exit(0);
            }
            if (worker > 0) waitpid(worker, nullptr, 0);
        }
    });
    ASSERT_TRUE(boss.started());
    const pid_t pid = boss.pid();
    auto sampler = machineSampler();
    const auto reaped = [&] { return statField(pid, 16) + statField(pid, 17); };  // cutime + cstime
    const uint64_t before = reaped();
    const double wall0 = monotonic();
    sampler->sample();
    const long ticks = sysconf(_SC_CLK_TCK);
    ASSERT_TRUE(test::waitUntil([&] { return reaped() - before >= static_cast<uint64_t>(ticks) / 2; },
                                std::chrono::seconds(30)));
    const std::vector<ProcInfo> list = sampler->sample();
    const double share = static_cast<double>(reaped() - before) / ticks / (monotonic() - wall0) * 100.0;
    ::kill(pid, SIGKILL);
    boss.reap();

    const ProcInfo* row = nullptr;
    for (const ProcInfo& p : list)
        if (p.pid == pid) row = &p;
    ASSERT_NE(row, nullptr);
    EXPECT_GT(row->childrenCpu, share * 0.5) << "the workers' share was " << share;
    EXPECT_LT(row->childrenCpu, share * 1.5 + 5);
    EXPECT_LT(row->cpu, row->childrenCpu) << "forking and waiting is not the work itself";

    Localizer::shared().apply("en");
    Snapshot s;
    s.processes = list;
    s.processesMeasured = true;
    AttributionLog log;
    log.add(s);
    const std::deque<Snapshot> history{s};
    const std::deque<NetProcMonitor::Entry> net;
    const AnalysisInputs in{history, log, s, net, {}, s.time};
    bool listed = false;
    for (const AnalysisRow& r : ResourceAnalysis(AnalysisKind::cpu).instantRows(in, s.time))
        if (r.pid == pid && r.children) listed = r.name.endsWith(QStringLiteral(" + children"));
    EXPECT_TRUE(listed);
}
