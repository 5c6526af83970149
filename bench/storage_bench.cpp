// The storage window's costs: a services scan of 300 units against a stand-in systemd user
// manager on a private bus (target: under 200 ms), and the GUI thread's share of opening the
// window and of showing a 300-row list (target: no single stretch over 16 ms).
#include "core/localizer.h"
#include "core/settings.h"
#include "ui/storage/storage_view.h"

#if defined(__linux__)
#include "platform/linux/systemd_user.h"
#include "support/fake_systemd.h"
#endif

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

using namespace velmora;

namespace {

constexpr int kUnits = 300;

std::vector<ServiceItem> units(int n) {
    std::vector<ServiceItem> items;
    for (int i = 0; i < n; ++i)
        items.push_back({QStringLiteral("unit-%1.service").arg(i), i % 2 ? std::optional<int32_t>(100 + i) : std::nullopt,
                         i % 7, i % 3 == 0});
    return items;
}

class FixedManager : public platform::ServiceManager {
  public:
    std::optional<std::vector<ServiceItem>> list() override { return units(kUnits); }
    platform::ServiceOutcome stop(const QString&) override { return {}; }
    void kill(const QString&) override {}
    platform::ServiceOutcome start(const QString&) override { return {}; }
};

class NoStartup : public StartupSource {
  public:
    StartupScan scan(const QString&) override { return {}; }
    std::optional<RemovalFailure> removeLoginItem(const StartupItem&) override { return std::nullopt; }
};

struct Env {
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{Localizer::defaultCandidates(), QStringLiteral("en"), [] { return QStringList(); }};
};

Env& env() {
    static Env* e = new Env;
    return *e;
}

StorageView::Sources sources() {
    return {std::make_unique<NoStartup>(), std::make_shared<FixedManager>(), {}};
}

// Creating and showing the window, up to its first paint, with empty lists.
void BM_StorageOpen(benchmark::State& state) {
    for (auto _ : state) {
        StorageView view(env().settings, env().loc, sources());
        view.resize(620, 560);
        view.show();
        benchmark::DoNotOptimize(view.grab());
        state.PauseTiming();
        view.hide();
        QCoreApplication::processEvents();  // lets the scan the showing asked for finish
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StorageOpen)->Unit(benchmark::kMillisecond);

// The longest stretch the GUI thread spends on a 300-unit listing as it arrives in a freshly
// opened window, up to its first paint: each event-loop turn is timed on its own.
void BM_StorageFirstListingLongestTurn(benchmark::State& state) {
    double longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        StorageView view(env().settings, env().loc, sources());
        view.resize(620, 560);
        view.setSection(StorageView::Section::services);
        view.show();
        state.ResumeTiming();
        while (view.services().loading() || view.servicesShown().rows.size() < kUnits) {
            const auto t0 = std::chrono::steady_clock::now();
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
            longest = std::max(longest, ms);
        }
    }
    state.counters["longest_turn_ms"] = longest;
}
BENCHMARK(BM_StorageFirstListingLongestTurn)->Unit(benchmark::kMillisecond)->Iterations(5);

// Typing in the search field over a listed window: rows are refilled, none created.
void BM_StorageSearchKeystroke(benchmark::State& state) {
    StorageView view(env().settings, env().loc, sources());
    view.resize(620, 560);
    view.setSection(StorageView::Section::services);
    view.show();
    while (view.services().loading())
        QCoreApplication::processEvents();
    bool narrow = false;
    for (auto _ : state) {
        view.setServiceSearch(narrow ? QStringLiteral("unit-1") : QString());
        narrow = !narrow;
    }
}
BENCHMARK(BM_StorageSearchKeystroke)->Unit(benchmark::kMillisecond);

#if defined(__linux__)

// A private dbus-daemon with the stand-in manager answering on a thread of its own, so the
// blocking calls of the client run on this one as they run on the service's worker.
struct PrivateManager {
    QProcess daemon;
    QThread thread;
    test::FakeSystemd* fake = nullptr;
    QString address;
    bool ready = false;

    PrivateManager() {
        const QString exe = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (exe.isEmpty()) return;
        daemon.start(exe, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000)) return;
        address = QString::fromUtf8(daemon.readLine().trimmed());
        QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("bench-server"));
        QDBusConnection::connectToBus(address, QStringLiteral("bench-client"));
        fake = new test::FakeSystemd;
        std::vector<test::FakeUnit> list;
        for (int i = 0; i < kUnits; ++i)
            list.push_back({QStringLiteral("unit-%1.service").arg(i), i % 2 ? uint(100 + i) : 0u, i % 7,
                            i % 3 ? QStringLiteral("/usr/lib/systemd/user/unit-%1.service").arg(i) : QString()});
        fake->setUnits(std::move(list));
        // Registered before it moves, so what the bus hangs on it moves along.
        ready = server.registerVirtualObject(QStringLiteral("/org/freedesktop/systemd1"), fake,
                                             QDBusConnection::SubPath) &&
                server.registerService(QStringLiteral("org.freedesktop.systemd1"));
        fake->moveToThread(&thread);
        thread.start();
    }
    ~PrivateManager() {
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("bench-server"));
        thread.quit();
        thread.wait();
        delete fake;
        daemon.terminate();
        daemon.waitForFinished(3000);
    }
};

void BM_SystemdScan300(benchmark::State& state) {
    PrivateManager bus;
    if (!bus.ready) {
        state.SkipWithError("no dbus-daemon");
        return;
    }
    platform::SystemdUserManager manager(QDBusConnection(QStringLiteral("bench-client")),
                                         platform::SystemdUserManager::defaultUserUnitDirs());
    size_t listed = 0;
    for (auto _ : state) {
        const auto items = manager.list();
        listed = items ? items->size() : 0;
    }
    if (listed != kUnits) state.SkipWithError("the stand-in listed the wrong number of units");
    state.counters["units"] = static_cast<double>(listed);
}
BENCHMARK(BM_SystemdScan300)->Unit(benchmark::kMillisecond)->UseRealTime();

#endif

}  // namespace

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
