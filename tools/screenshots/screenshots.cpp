// Renders the popover, the dashboard, the status images, the settings form, the report sheet
// and the process detail view into PNG files from made-up data, so a person can look at them
// without a desktop: `make screenshots`.
#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_engine.h"
#include "maintenance/bug_reporter.h"
#include "samplers/cpu_sampler.h"
#include "ui/analysis/analysis_view.h"
#include "ui/common/status_icon.h"
#include "ui/dashboard/dashboard_view.h"
#include "ui/detail/process_detail_view.h"
#include "ui/popover/popover_panel.h"
#include "ui/popover/popover_view.h"
#include "ui/settings/bug_report_sheet.h"
#include "ui/settings/settings_view.h"
#include "ui/storage/storage_view.h"

#include "support/dark_palette.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStandardPaths>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <tuple>

using namespace velmora;

namespace {

class NoSource : public SnapshotSource {
  public:
    Snapshot tick(const std::function<bool()>&) override { return {}; }
};

// Traffic comes only from what the picture publishes by hand.
class NoTraffic : public platform::NetProcSource {
  public:
    std::optional<std::vector<ProcNet>> measure(const platform::Interrupt::Token&) override { return std::nullopt; }
};

Snapshot calm() {
    Snapshot s;
    s.cpuTotal = 12.3;
    s.memPercent = 41.2;
    s.memUsed = 6'700'000'000;
    s.memTotal = 16ull << 30;
    s.gpuPercent = 3;
    s.diskReadBps = 120'000;
    s.diskWriteBps = 48'000;
    s.netInBps = 23'000;
    s.netOutBps = 4'100;
    s.battery.present = true;
    s.battery.percent = 86;
    s.cpuTempC = 47.6;
    s.processesMeasured = true;
    return s;
}

// The popover just opened: the process list has not been measured over an interval yet.
Snapshot measuring() {
    Snapshot s = calm();
    s.processesMeasured = false;
    return s;
}

Snapshot critical() {
    Snapshot s;
    s.cpuTotal = 97.4;
    s.memPercent = 93.1;
    s.memUsed = 15'200'000'000;
    s.memTotal = 16ull << 30;
    s.gpuPercent = 88;
    s.diskReadBps = 900'000'000;
    s.diskWriteBps = 310'000'000;
    s.netInBps = 96'000'000;
    s.netOutBps = 2'500'000;
    s.battery.present = true;
    s.battery.percent = 12;
    s.battery.charging = true;
    s.battery.acPower = true;
    s.fans = {{.rpm = 5230}, {.rpm = 4980}};
    s.thermalState = ThermalState::serious;
    s.cpuTempC = 99.2;
    s.gpuTempC = 86.5;
    s.processes = {
        {.pid = 4011, .name = "clang++", .cpu = 312.4, .memBytes = 1'900'000'000},
        {.pid = 4099,
         .name = "a-process-with-a-very-long-name-that-must-not-widen-the-popover",
         .cpu = 100,
         .memBytes = 88'000'000},
        {.pid = 812, .name = "firefox-esr", .cpu = 50, .memBytes = 2'400'000'000},
        {.pid = 7, .name = "kworker/u16:3", .cpu = 4},
        {.pid = 1520, .name = "pipewire", .cpu = 35, .memBytes = 24'000'000},
        {.pid = 2210, .name = "gnome-shell", .cpu = 27.9, .memBytes = 410'000'000},
        {.pid = 3333, .name = "sixth-heavy-one", .cpu = 80},
    };
    s.processesMeasured = true;
    return s;
}

// Made-up services and startup items for the storage window.
class SampleServices : public platform::ServiceManager {
  public:
    std::optional<std::vector<ServiceItem>> list() override {
        return std::vector<ServiceItem>{
            {"pipewire.service", 1412, 0, true},
            {"syncthing.service", 2210, 0, false},
            {"dbus.service", 1180, 0, true},
            {"backup-nightly.service", std::nullopt, 3, false},
            {"velmora-powerd.service", 977, 0, false},
            {"gpg-agent.service", std::nullopt, 0, true},
            {"a-service-with-a-rather-long-name-that-the-row-cuts-in-the-middle@instance.service", std::nullopt, 0,
             false},
            {"xdg-desktop-portal.service", 1530, 0, true},
        };
    }
    platform::ServiceOutcome stop(const QString&) override { return {}; }
    void kill(const QString&) override {}
    platform::ServiceOutcome start(const QString&) override { return {}; }
};

class SampleStartup : public StartupSource {
  public:
    StartupScan scan(const QString&) override {
        const QString login = QString::fromUtf8(StartupItem::loginItemKind);
        const QString agent = QString::fromUtf8(StartupItem::launchAgentKind);
        return {{{"Nextcloud", "/home/ana/.config/autostart/com.nextcloud.desktopclient.nextcloud.desktop", login},
                 {"Print Queue Applet", "/etc/xdg/autostart/print-applet.desktop", login,
                  StartupItem::State::otherDesktop},
                 {"Clipboard", "", login},
                 {"syncthing.service", "/home/ana/.config/systemd/user/syncthing.service", agent},
                 {"pipewire.service", "/usr/lib/systemd/user/pipewire.service", agent, StartupItem::State::starts, {},
                  true}},
                false};
    }
    std::optional<RemovalFailure> removeLoginItem(const StartupItem&) override { return std::nullopt; }
};
// Layout requests travel one level a turn of the event loop (a card, then its column): a few
// turns let a window settle as it would on screen before it is grabbed.
void settle() {
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

// Five minutes of made-up history ending in `last`, swinging around its figures, so the
// dashboard's charts have something to draw.
void publishHistory(MetricsEngine& engine, const Snapshot& last) {
    const TimePoint end = WallClock::now();
    for (int i = 299; i >= 0; --i) {
        Snapshot s = last;
        const double wave = 0.6 + 0.4 * std::sin(i / 17.0) * std::cos(i / 41.0);
        s.time = end - std::chrono::seconds(i);
        if (i > 0) {
            s.cpuTotal = std::clamp(last.cpuTotal * wave, 0.0, 100.0);
            s.gpuPercent = std::clamp(last.gpuPercent * wave, 0.0, 100.0);
            s.memPercent = std::clamp(last.memPercent * (0.9 + 0.1 * wave), 0.0, 100.0);
            s.diskReadBps = last.diskReadBps * wave * wave;
            s.diskWriteBps = last.diskWriteBps * (1.2 - wave);
            s.netInBps = last.netInBps * wave;
            s.netOutBps = last.netOutBps * (1.3 - wave);
            if (last.hottestC) s.hottestC = *last.hottestC * (0.85 + 0.15 * wave);
        }
        engine.publish(s);
    }
}

Snapshot dashboardCalm() {
    Snapshot s = calm();
    s.cpuPerCore = {14, 9, 11, 6, 22, 18, 4, 7};
    s.diskPercent = 58;
    s.swapUsed = 0;
    s.hottestC = 51;
    s.cpuPowerW = 4.2;
    s.battery.timeToEmptyMin = 312;
    s.battery.cycleCount = 187;
    s.battery.healthPercent = 94;
    s.fans = {{.rpm = 1350, .target = 1300, .minRPM = 1200, .maxRPM = 5800}};
    s.processes = {
        {.pid = 1840, .name = "firefox-esr", .cpu = 6.1, .memBytes = 1'300'000'000, .diskReadBps = 4000},
        {.pid = 2210, .name = "gnome-shell", .cpu = 3.2, .memBytes = 410'000'000},
        {.pid = 1520, .name = "pipewire", .cpu = 0.8, .memBytes = 24'000'000},
        {.pid = 977, .name = "Xwayland", .cpu = 0.6, .memBytes = 88'000'000},
        {.pid = 1, .name = "systemd", .cpu = 0, .memBytes = 12'000'000, .isSystem = true},
    };
    return s;
}

Snapshot dashboardCritical() {
    Snapshot s = critical();
    s.cpuPerCore = {97, 99, 94, 100, 88, 91, 96, 99, 72, 81, 64, 93};
    s.diskPercent = 96.4;
    s.swapUsed = 3'400'000'000;
    s.hottestC = 101;
    s.cpuPowerW = 38.6;
    s.gpuPowerW = 21.1;
    s.battery.timeToFullMin = 48;
    s.battery.cycleCount = 611;
    s.battery.healthPercent = 81;
    s.fans = {{.rpm = 5230, .target = 5400, .minRPM = 1200, .maxRPM = 5800},
              {.rpm = 3100, .target = 3200, .minRPM = 1200, .maxRPM = 5800}};
    s.processes.push_back({.pid = 5012, .name = QStringLiteral("مشغل الوسائط"), .cpu = 12, .memBytes = 310'000'000});
    s.processes.push_back({.pid = 5013, .name = QString(300, u'x'), .cpu = 9, .memBytes = 2'000'000});
    s.processes.push_back({.pid = 5014, .name = QStringLiteral("bad\tname\x01"), .cpu = 8});
    for (int i = 0; i < 40; ++i)
        s.processes.push_back({.pid = 6000 + i, .name = QStringLiteral("worker-%1").arg(i % 7), .cpu = 40.0 / (i + 1),
                               .memBytes = static_cast<uint64_t>(50'000'000 + i * 3'000'000),
                               .diskWriteBps = i * 10'000.0, .energyImpact = 30.0 / (i + 1)});
    return s;
}

bool save(const QImage& image, const QString& path) {
    const bool ok = image.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A readable sheet of one metric's images: wide and square, on a dark and a light panel,
// enlarged four times.
QImage sheet(const std::vector<QImage>& images) {
    constexpr int zoom = 4;
    const QColor panels[] = {QColor(0x20, 0x20, 0x24), QColor(0xEC, 0xEC, 0xEC)};
    int width = 0, height = 0;
    for (const QImage& img : images) {
        width = std::max(width, static_cast<int>(img.deviceIndependentSize().width() * zoom) + 16);
        height += static_cast<int>(img.deviceIndependentSize().height() * zoom) + 16;
    }
    QImage out(2 * width, height, QImage::Format_ARGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int col = 0; col < 2; ++col) {
        p.fillRect(col * width, 0, width, height, panels[col]);
        int y = 8;
        for (const QImage& img : images) {
            const QSizeF size = img.deviceIndependentSize() * zoom;
            p.drawImage(QRectF(col * width + 8, y, size.width(), size.height()), img);
            y += static_cast<int>(size.height()) + 16;
        }
    }
    return out;
}

// Open files of a made-up process, found at once.
class MadeUpFiles : public ProcessCollector {
  public:
    std::optional<ProcessStaticInfo> fetchStatic(int32_t) override { return std::nullopt; }
    std::optional<ProcessLiveInfo> fetchLive(int32_t) override { return std::nullopt; }
    std::optional<MemoryFootprint> memory(int32_t) override { return std::nullopt; }
    std::vector<NetConnection> connections(int32_t) override { return {}; }
    std::optional<OpenFilesResult> openFiles(int32_t) override {
        OpenFilesResult r;
        for (int i = 0; i < 38; ++i)
            r.files << QStringLiteral("/home/ada/project/src/file%1.cpp").arg(i);
        r.connections << QStringLiteral("127.0.0.1:41230->127.0.0.1:8080")
                      << QStringLiteral("[::1]:5432->[::1]:50122");
        r.totalCount = 40;
        return r;
    }
};

// The detail view of a busy compiler with two minutes of CPU history.
bool shootDetail(Localizer& loc, const QString& dir) {
    // A feed of its own, so the other pictures' histories stay as they are.
    MetricsEngine engine(std::make_unique<NoSource>());
    constexpr int32_t pid = 48213;
    const TimePoint now = WallClock::now();
    for (int i = 120; i >= 0; --i) {
        Snapshot s;
        s.time = now - std::chrono::seconds(i);
        const double cpu = 140 + 90 * std::sin(i / 9.0) + (i % 7) * 6;
        s.processes = {{.pid = pid, .name = QStringLiteral("clang++"), .cpu = cpu, .memBytes = 1'350ull << 20,
                        .diskReadBps = 2.4e6, .diskWriteBps = 6.1e5, .energyImpact = cpu / 2}};
        engine.publish(s);
    }
    bool ok = true;
    for (const char* language : {"en", "ko", "th"}) {
        loc.apply(QString::fromLatin1(language));
        ProcessDetailView::Services services;
        services.fetchStatic = [](int32_t p) {
            ProcessStaticInfo i;
            i.pid = p;
            i.name = QStringLiteral("clang++");
            i.path = QStringLiteral("/usr/lib/llvm-14/bin/clang++");
            i.ppid = 48190;
            i.uid = 1000;
            i.userName = QStringLiteral("ada");
            i.startDate = QDateTime::currentDateTime().addSecs(-754);
            i.statusKey = QStringLiteral("psRunning");
            i.command = QStringLiteral("/usr/lib/llvm-14/bin/clang++ -O2 -g -std=c++20 -c src/engine/metrics_engine.cpp "
                                       "-o build/metrics_engine.o");
            i.archText = QStringLiteral("x86_64");
            return std::optional(i);
        };
        services.fetchLive = [](int32_t) {
            return std::optional(ProcessLiveInfo{.threads = 9, .resident = 1'350ull << 20, .cpuSeconds = 611});
        };
        services.filesCollector = std::make_unique<MadeUpFiles>();
        services.priority = ProcessPriority([](int32_t) { return std::optional(5); }, [](int32_t, int) { return true; });
        ProcessDetailView view(engine, loc, pid, std::move(services));
        view.resize(540, 720);
        view.show();
        QElapsedTimer waited;
        waited.start();
        while (view.loadingFiles() && waited.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::processEvents();
        ok &= save(view.grab().toImage(), QStringLiteral("%1/detail-%2.png").arg(dir, QLatin1String(language)));
        view.resize(540, 760);
        QWidget* content = view.findChild<QScrollArea*>()->widget();
        content->resize(content->width(), content->sizeHint().height());
        ok &= save(content->grab().toImage(), QStringLiteral("%1/detail-full-%2.png").arg(dir, QLatin1String(language)));
    }
    // A process that has gone.
    loc.apply(QStringLiteral("en"));
    ProcessDetailView::Services none;
    none.fetchStatic = [](int32_t) { return std::optional<ProcessStaticInfo>(); };
    none.filesCollector = std::make_unique<MadeUpFiles>();
    ProcessDetailView gone(engine, loc, 99999, std::move(none));
    gone.resize(540, 400);
    gone.show();
    QCoreApplication::processEvents();
    ok &= save(gone.grab().toImage(), QStringLiteral("%1/detail-gone-en.png").arg(dir));
    return ok;
}

// The popover, the dashboard and the storage window on a dark desktop: made after the
// palette is set, as Velmora starts on such a desktop.
bool shootDark(AppSettings& settings, Localizer& loc, const QString& dir) {
    const QPalette before = QApplication::palette();
    QApplication::setPalette(test::darkDesktopPalette());
    loc.apply(QStringLiteral("en"));
    bool ok = true;
    {
        MetricsEngine engine(std::make_unique<NoSource>());
        PopoverPanel panel(new PopoverView(engine, settings, loc, {}));
        for (auto b : {PopoverView::Button::expand, PopoverView::Button::storage, PopoverView::Button::settings})
            panel.view()->setButtonAvailable(b, true);
        engine.publish(critical());
        panel.fitContent();
        ok &= save(panel.grab().toImage(), dir + QStringLiteral("/popover-critical-en-dark.png"));
    }
    {
        CoreTopology hybrid;
        hybrid.groups = {{CoreKind::efficiency(), {0, 1, 2, 3}}, {CoreKind::performance(), {4, 5, 6, 7, 8, 9, 10, 11}}};
        MetricsEngine feed(std::make_unique<NoSource>());
        DashboardView::Hooks hooks;
        hooks.topology = &hybrid;
        DashboardView dashboard(feed, settings, loc, std::move(hooks));
        dashboard.resize(1120, 812);
        dashboard.show();
        publishHistory(feed, dashboardCritical());
        settle();
        ok &= save(dashboard.grab().toImage(), dir + QStringLiteral("/dashboard-critical-en-dark.png"));
    }
    {
        StorageView view(settings, loc, {std::make_unique<SampleStartup>(), std::make_shared<SampleServices>(), {}});
        view.resize(620, 560);
        view.show();
        for (auto section : {StorageView::Section::startup, StorageView::Section::services}) {
            view.setSection(section);
            QElapsedTimer waited;
            waited.start();
            while ((view.startup().loading() || view.services().loading()) && waited.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            ok &= save(view.grab().toImage(),
                       QStringLiteral("%1/storage-%2-en-dark.png")
                           .arg(dir, section == StorageView::Section::startup ? QStringLiteral("startup")
                                                                              : QStringLiteral("services")));
        }
    }
    QApplication::setPalette(before);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);  // never touch the user's own settings
    QApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("build/screenshots");
    QDir().mkpath(dir);
    bool ok = true;

    AppSettings settings(dir + QStringLiteral("/settings.json"));
    Localizer loc(Localizer::defaultCandidates(), QStringLiteral("en"), [] { return QStringList(); });
    MetricsEngine engine(std::make_unique<NoSource>());
    PopoverPanel panel(new PopoverView(engine, settings, loc, {}));
    // The window buttons show as they will once their windows exist.
    for (auto b : {PopoverView::Button::expand, PopoverView::Button::storage, PopoverView::Button::settings})
        panel.view()->setButtonAvailable(b, true);

    for (const char* language : {"en", "ko", "th", "ja", "ru"}) {
        loc.apply(QString::fromLatin1(language));
        for (const auto& [name, snapshot] : {std::pair{"calm", calm()}, std::pair{"measuring", measuring()},
                                             std::pair{"critical", critical()}}) {
            engine.publish(snapshot);
            panel.fitContent();
            ok &= save(panel.grab().toImage(), QStringLiteral("%1/popover-%2-%3.png")
                                                   .arg(dir, QLatin1String(name), QLatin1String(language)));
        }
    }

    // The dashboard at the window's default size, calm and critical, on a hybrid CPU.
    CoreTopology hybrid;
    hybrid.groups = {{CoreKind::efficiency(), {0, 1, 2, 3}}, {CoreKind::performance(), {4, 5, 6, 7, 8, 9, 10, 11}}};
    for (const auto& [name, snapshot, languages] :
         {std::tuple{"calm", dashboardCalm(), std::vector<const char*>{"en", "ko"}},
          std::tuple{"critical", dashboardCritical(), std::vector<const char*>{"en", "ko", "th"}}}) {
        for (const char* language : languages) {
            loc.apply(QString::fromLatin1(language));
            MetricsEngine feed(std::make_unique<NoSource>());
            DashboardView::Hooks hooks;
            hooks.topology = &hybrid;
            DashboardView dashboard(feed, settings, loc, std::move(hooks));
            dashboard.resize(1120, 812);
            dashboard.show();
            publishHistory(feed, snapshot);
            settle();
            ok &= save(dashboard.grab().toImage(), QStringLiteral("%1/dashboard-%2-%3.png")
                                                       .arg(dir, QLatin1String(name), QLatin1String(language)));
            // The lower cards: temperatures, power, battery and fans.
            QScrollBar* bar = dashboard.cardColumn()->verticalScrollBar();
            bar->setValue(bar->maximum());
            settle();
            bar->setValue(bar->maximum());  // the cards scrolled into view may have grown
            settle();
            ok &= save(dashboard.cardColumn()->grab().toImage(),
                       QStringLiteral("%1/dashboard-%2-%3-lower.png").arg(dir, QLatin1String(name), QLatin1String(language)));
        }
    }

    // The settings form as it opens (400 × 500) and its whole scrolled content, alerts on;
    // then the report sheet with a description, and after a report that could not be sent.
    settings.setAlertsEnabled(true);
    settings.setCpuThreshold(85);
    BugReporter::Config reports;
    reports.dir = dir + QStringLiteral("/logs");
    reports.context = QStringLiteral("screenshot");
    reports.endpoint = QUrl(QStringLiteral("http://127.0.0.1:1/api/bugs"));  // nothing listens
    BugReporter reporter(reports);
    for (const char* language : {"en", "ko", "de", "ru"}) {
        loc.apply(QString::fromLatin1(language));
        SettingsView::Services services;
        services.reporter = &reporter;
        SettingsView form(settings, loc, services);
        form.show();
        QCoreApplication::processEvents();  // the layout settles, the scroll bar appears
        ok &= save(form.grab().toImage(),
                   QStringLiteral("%1/settings-%2.png").arg(dir, QLatin1String(language)));
        QWidget* content = form.findChild<QScrollArea*>()->widget();
        content->resize(content->width(), content->sizeHint().height());
        ok &= save(content->grab().toImage(),
                   QStringLiteral("%1/settings-full-%2.png").arg(dir, QLatin1String(language)));

        BugReportSheet sheet(reporter, loc);
        sheet.editor()->setPlainText(QStringLiteral("The fan keeps spinning after the build ends.\n팬이 계속 돕니다."));
        sheet.show();
        QCoreApplication::processEvents();
        ok &= save(sheet.grab().toImage(), QStringLiteral("%1/report-%2.png").arg(dir, QLatin1String(language)));
        sheet.send();
        QElapsedTimer waited;
        waited.start();
        while (sheet.sending() && waited.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        sheet.adjustSize();
        ok &= save(sheet.grab().toImage(),
                   QStringLiteral("%1/report-saved-%2.png").arg(dir, QLatin1String(language)));
    }
    // The storage window's two sections, in the safe and the aggressive stop mode.
    for (const char* language : {"en", "ko"}) {
        loc.apply(QString::fromLatin1(language));
        for (bool aggressive : {false, true}) {
            settings.setAggressiveServiceStop(aggressive);
            StorageView view(settings, loc, {std::make_unique<SampleStartup>(), std::make_shared<SampleServices>(), {}});
            view.resize(620, 560);
            view.show();
            for (auto section : {StorageView::Section::startup, StorageView::Section::services}) {
                view.setSection(section);
                QElapsedTimer waited;
                waited.start();
                while ((view.startup().loading() || view.services().loading()) &&
                       waited.elapsed() < 5000)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
                if (section == StorageView::Section::startup && aggressive) continue;  // same as safe
                const QString name = section == StorageView::Section::startup
                                         ? QStringLiteral("startup")
                                         : (aggressive ? QStringLiteral("services-aggressive") : QStringLiteral("services"));
                ok &= save(view.grab().toImage(),
                           QStringLiteral("%1/storage-%2-%3.png").arg(dir, name, QLatin1String(language)));
            }
        }
    }
    settings.setAggressiveServiceStop(false);

    ok &= shootDetail(loc, dir);
    ok &= shootDark(settings, loc, dir);

    // A history that climbs and falls, then the metric's current value.
    std::deque<Snapshot> history;
    for (int i = 0; i < 40; ++i) {
        Snapshot s = critical();
        const double wave = 0.5 + 0.45 * std::sin(i / 4.0);
        s.cpuTotal = 100 * wave;
        s.memPercent = 60 + 35 * wave;
        s.gpuPercent = 90 * wave;
        s.netInBps = 3'000'000 * wave;
        s.cpuTempC = 50 + 50 * wave;
        history.push_back(s);
    }
    for (MenuBarMetric metric : allMenuBarMetrics()) {
        std::vector<QImage> images;
        for (const std::deque<Snapshot>& h : {std::deque<Snapshot>{calm()}, history}) {
            const StatusImage img = statusImageFor(h.back(), h, metric);
            images.push_back(StatusIcon::render(img, 2.0));
            images.push_back(StatusIcon::renderSquare(img, 22, 2.0));
        }
        const QString base = dir + QStringLiteral("/status-") + rawValue(metric);
        ok &= save(images[2], base + QStringLiteral(".png"));
        ok &= save(images[3], base + QStringLiteral("-square.png"));
        ok &= save(sheet(images), base + QStringLiteral("-sheet.png"));
    }
    // The CPU analysis over five minutes of a build: the peak list, then one picked moment.
    {
        MetricsEngine history(std::make_unique<NoSource>());
        const TimePoint start = WallClock::now() - std::chrono::seconds(300);
        for (int i = 0; i <= 300; i += 2) {
            Snapshot s = calm();
            s.time = start + std::chrono::seconds(i);
            const double wave = 0.5 + 0.5 * std::sin(i / 23.0);
            s.cpuTotal = 20 + 70 * wave;
            s.processes = {{.pid = 4101, .name = "cc1plus", .cpu = 160 * wave, .memBytes = 900ull << 20},
                           {.pid = 2210, .name = "Web Content", .cpu = 12 + 30 * (1 - wave), .memBytes = 1ull << 30},
                           {.pid = 3300, .name = "ld", .cpu = i > 200 ? 95.0 : 0.0, .memBytes = 2ull << 30},
                           {.pid = 880, .name = "pipewire", .cpu = 9, .memBytes = 40ull << 20}};
            // The first minute before a process view was open: its processes are unknown.
            if (i < 60) {
                s.processes.clear();
                s.processesMeasured = false;
            }
            history.publish(s);
        }
        for (const char* language : {"en", "ko"}) {
            Localizer::shared().apply(QString::fromLatin1(language));
            AnalysisView::Services quiet;  // no look-ups on the network for a picture
            quiet.detail.describe = [](const QString&, QObject*, std::function<void(std::optional<QString>)>) {};
            AnalysisView view(history, AnalysisKind::cpu, std::move(quiet));
            view.resize(1040, 720);
            ok &= save(view.grab().toImage(), QStringLiteral("%1/analysis-cpu-%2.png").arg(dir, QLatin1String(language)));
            view.pickTime(start + std::chrono::seconds(250));
            ok &= save(view.grab().toImage(),
                       QStringLiteral("%1/analysis-cpu-moment-%2.png").arg(dir, QLatin1String(language)));
        }
        for (const char* language : {"en", "ko"}) {
            Localizer::shared().apply(QString::fromLatin1(language));
            AnalysisView::Services quiet;
            quiet.detail.describe = [](const QString&, QObject*, std::function<void(std::optional<QString>)>) {};
            quiet.netMonitor = std::make_unique<NetProcMonitor>(std::make_unique<NoTraffic>());
            NetProcMonitor* net = quiet.netMonitor.get();
            AnalysisView view(history, AnalysisKind::network, std::move(quiet));
            view.resize(1040, 720);
            net->publish(std::vector<ProcNet>{{4101, "cc1plus", 0, 0}, {2210, "Web Content", 2'400'000, 310'000},
                                              {5120, "git-remote-https", 880'000, 42'000}});
            net->publish(std::vector<ProcNet>{{2210, "Web Content", 650'000, 90'000}, {880, "pipewire", 30'000, 0}});
            ok &= save(view.grab().toImage(),
                       QStringLiteral("%1/analysis-network-%2.png").arg(dir, QLatin1String(language)));
        }
        Localizer::shared().apply(QStringLiteral("en"));
    }

    std::vector<QImage> first{StatusIcon::render(StatusIcon::placeholder(), 2.0),
                              StatusIcon::renderSquare(StatusIcon::placeholder(), 22, 2.0)};
    ok &= save(sheet(first), dir + QStringLiteral("/status-placeholder-sheet.png"));
    return ok ? 0 : 1;
}
