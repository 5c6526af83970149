// Every window as a screen reader and a keyboard user meet it: each element named, each
// control reachable with Tab, in reading order.
#include "ui/common/access_tree.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_engine.h"
#include "maintenance/bug_reporter.h"
#include "ui/analysis/analysis_view.h"
#include "ui/common/system_colors.h"
#include "ui/dashboard/dashboard_view.h"
#include "ui/detail/process_detail_view.h"
#include "ui/popover/popover_view.h"
#include "ui/settings/bug_report_sheet.h"
#include "ui/settings/settings_view.h"
#include "ui/storage/storage_view.h"

#include "support/dark_palette.h"
#include "support/test_util.h"
#include "support/null_sources.h"

#include <QLabel>
#include <QListView>
#include <QStyle>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace velmora;
using velmora::test::accessProblems;
using velmora::test::nameOf;

using velmora::test::NoSource;
using velmora::test::NoTraffic;

namespace {

class Services : public platform::ServiceManager {
  public:
    std::optional<std::vector<ServiceItem>> list() override {
        return std::vector<ServiceItem>{{"pipewire.service", 1412, 0, true},
                                        {"backup-nightly.service", std::nullopt, 3, false},
                                        {"velmora-powerd.service", 977, 0, false}};
    }
    platform::ServiceOutcome stop(const QString&) override { return {}; }
    void kill(const QString&) override {}
    platform::ServiceOutcome start(const QString&) override { return {}; }
};

class Startup : public StartupSource {
  public:
    StartupScan scan(const QString&) override {
        const QString login = QString::fromUtf8(StartupItem::loginItemKind);
        return {{{"Nextcloud", "/home/ana/.config/autostart/nextcloud.desktop", login},
                 {"Clipboard", "", login, StartupItem::State::otherDesktop}},
                false};
    }
    std::optional<RemovalFailure> removeLoginItem(const StartupItem&) override { return std::nullopt; }
};

Snapshot busy(int i) {
    Snapshot s;
    s.cpuTotal = 40 + i % 50;
    s.cpuPerCore = {90, 12, 40, 7};
    s.memPercent = 61;
    s.memUsed = 6'700'000'000;
    s.memTotal = 16ull << 30;
    s.gpuPercent = 3;
    s.diskReadBps = 120'000;
    s.netInBps = 23'000;
    s.battery.present = true;
    s.battery.percent = 86;
    s.fans = {{.rpm = 1350, .target = 1300, .minRPM = 1200, .maxRPM = 5800}};
    s.cpuTempC = 47.6;
    s.hottestC = 51;
    s.processesMeasured = true;
    s.processes = {{.pid = 4011, .name = "clang++", .cpu = 95, .memBytes = 1'900'000'000},
                   {.pid = 812, .name = "firefox-esr", .cpu = 50, .memBytes = 2'400'000'000},
                   {.pid = 1, .name = "systemd", .cpu = 0.1, .memBytes = 12'000'000, .isSystem = true}};
    return s;
}

// What every window is made from: settings, the localizer and a feed with a minute of data.
struct Env {
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); }};
    MetricsEngine engine{std::make_unique<NoSource>()};
    std::unique_ptr<BugReporter> reporter;
    Env() {
        BugReporter::Config c;
        c.dir = dir.filePath("logs");
        c.context = QStringLiteral("test");
        c.endpoint = QUrl(QStringLiteral("http://127.0.0.1:1/api/bugs"));
        reporter = std::make_unique<BugReporter>(c);
        const TimePoint end = WallClock::now();
        for (int i = 60; i >= 0; --i) {
            Snapshot s = busy(i);
            s.time = end - std::chrono::seconds(i);
            engine.publish(s);
        }
    }
};

struct Window {
    const char* name;
    std::function<std::unique_ptr<QWidget>(Env&)> make;
};

ProcessDetailView::Services detailServices() {
    ProcessDetailView::Services s;
    s.fetchStatic = [](int32_t p) {
        ProcessStaticInfo i;
        i.pid = p;
        i.name = QStringLiteral("clang++");
        i.path = QStringLiteral("/usr/bin/clang++");
        i.ppid = 1;
        i.uid = 1000;
        i.userName = QStringLiteral("ada");
        i.startDate = QDateTime::currentDateTime().addSecs(-75);
        i.statusKey = QStringLiteral("psRunning");
        i.command = QStringLiteral("/usr/bin/clang++ -c a.cpp");
        return std::optional(i);
    };
    s.fetchLive = [](int32_t) { return std::optional(ProcessLiveInfo{.threads = 3, .resident = 1 << 20}); };
    s.priority = ProcessPriority([](int32_t) { return std::optional(0); }, [](int32_t, int) { return true; });
    return s;
}

const std::vector<Window>& windows() {
    static const std::vector<Window> all{
        {"popover",
         [](Env& e) -> std::unique_ptr<QWidget> {
             auto v = std::make_unique<PopoverView>(e.engine, e.settings, e.loc, PopoverView::Actions{});
             for (auto b : {PopoverView::Button::expand, PopoverView::Button::storage, PopoverView::Button::settings})
                 v->setButtonAvailable(b, true);
             return v;
         }},
        {"dashboard",
         [](Env& e) -> std::unique_ptr<QWidget> {
             auto v = std::make_unique<DashboardView>(e.engine, e.settings, e.loc, DashboardView::Hooks{});
             v->resize(1120, 812);
             return v;
         }},
        {"detail",
         [](Env& e) -> std::unique_ptr<QWidget> {
             return std::make_unique<ProcessDetailView>(e.engine, e.loc, 4011, detailServices());
         }},
        {"analysis",
         [](Env& e) -> std::unique_ptr<QWidget> {
             AnalysisView::Services s;
             s.detail.describe = [](const QString&, QObject*, std::function<void(std::optional<QString>)>) {};
             auto v = std::make_unique<AnalysisView>(e.engine, AnalysisKind::cpu, std::move(s));
             v->resize(1040, 720);
             return v;
         }},
        {"storage",
         [](Env& e) -> std::unique_ptr<QWidget> {
             auto v = std::make_unique<StorageView>(
                 e.settings, e.loc, StorageView::Sources{std::make_unique<Startup>(), std::make_shared<Services>(), {}});
             v->resize(620, 560);
             return v;
         }},
        {"storage services",
         [](Env& e) -> std::unique_ptr<QWidget> {
             auto v = std::make_unique<StorageView>(
                 e.settings, e.loc, StorageView::Sources{std::make_unique<Startup>(), std::make_shared<Services>(), {}});
             v->resize(620, 560);
             v->setSection(StorageView::Section::services);
             return v;
         }},
        {"settings",
         [](Env& e) -> std::unique_ptr<QWidget> {
             SettingsView::Services s;
             s.reporter = e.reporter.get();
             s.forgetHistory = [](std::function<void(bool, const QString&)> done) { done(true, {}); };
             return std::make_unique<SettingsView>(e.settings, e.loc, std::move(s));
         }},
        {"bug report", [](Env& e) -> std::unique_ptr<QWidget> { return std::make_unique<BugReportSheet>(*e.reporter, e.loc); }},
    };
    return all;
}

std::unique_ptr<QWidget> open(Env& e, const Window& w) {
    auto view = w.make(e);
    view->show();
    view->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    test::waitUntil([] { return false; }, std::chrono::milliseconds(50));  // layouts and first loads settle
    return view;
}

}  // namespace

// Every shown element has a role; every control and painted part a name; every control
// takes the focus.
TEST(WindowAccess, EveryElementIsNamedAndEveryControlFocusable) {
    for (const Window& w : windows()) {
        Env env;
        auto view = open(env, w);
        const QStringList problems = accessProblems(view.get());
        EXPECT_TRUE(problems.isEmpty()) << w.name << ":\n  " << problems.join("\n  ").toStdString();
    }
}

// Tab from the first control goes once round every control of the window.
TEST(WindowAccess, TabReachesEveryControl) {
    for (const Window& w : windows()) {
        Env env;
        auto view = open(env, w);
        const QList<QWidget*> stops = test::tabStops(view.get());
        ASSERT_FALSE(stops.isEmpty()) << w.name;
        const QList<QWidget*> visited = test::tabCycle(stops.front());
        QStringList missed;
        for (QWidget* s : stops)
            if (!visited.contains(s)) missed << nameOf(s);
        EXPECT_TRUE(missed.isEmpty()) << w.name << " never reaches: " << missed.join(", ").toStdString();
        // Reading order among neighbours: one control after another in the same box goes
        // down the box, or along its line.
        for (qsizetype k = 1; k < visited.size(); ++k) {
            QWidget* a = visited[k - 1];
            QWidget* b = visited[k];
            if (a->parentWidget() != b->parentWidget()) continue;
            const QRect ra = a->geometry(), rb = b->geometry();
            const bool sameLine = rb.top() < ra.bottom() && ra.top() < rb.bottom();
            EXPECT_TRUE(sameLine ? rb.left() >= ra.right() : rb.top() >= ra.bottom())
                << w.name << ": " << nameOf(a).toStdString() << " → " << nameOf(b).toStdString() << " goes back";
        }
    }
}

// A painted row reads as its whole line: what the row shows, not only its name.
TEST(WindowAccess, PaintedRowsReadTheirWholeLine) {
    Env env;
    const Window& analysis = *std::find_if(windows().begin(), windows().end(),
                                           [](const Window& w) { return QLatin1String(w.name) == "analysis"; });
    auto view = open(env, analysis);
    auto* list = view->findChild<QListView*>();
    ASSERT_NE(list, nullptr);
    ASSERT_GT(list->model()->rowCount(), 0);
    const QModelIndex first = list->model()->index(0, 0);
    const QString line = first.data(Qt::AccessibleTextRole).toString();
    EXPECT_TRUE(line.startsWith(QStringLiteral("1. ") + first.data(Qt::DisplayRole).toString())) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("PID %1").arg(first.data(Qt::UserRole).toInt()))) << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral(", 95%"))) << "its figure: " << line.toStdString();
    // A screen reader meets the same text on the list's item.
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(list)->child(0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(QAccessible::Name), line);
}

namespace {

// The two palettes every window is read in: the style's light one and a dark desktop's.
QPalette lightPalette() {
    return QApplication::style()->standardPalette();
}

// Sets the application's palette for the life of the object, as a desktop would.
struct PaletteScope {
    QPalette before = QApplication::palette();
    explicit PaletteScope(const QPalette& p) { QApplication::setPalette(p); }
    ~PaletteScope() { QApplication::setPalette(before); }
};

// What a label is drawn on: the nearest ancestor that fills its background, or the window.
QColor backgroundOf(const QWidget* w) {
    for (const QWidget* up = w->parentWidget(); up; up = up->parentWidget())
        if (up->autoFillBackground() || up->isWindow()) return up->palette().color(up->backgroundRole());
    return w->palette().color(QPalette::Window);
}

// WCAG's large text: 18 pt, or 14 pt bold (24 and 18.7 pixels).
double neededContrast(const QFont& f) {
    const double px = f.pixelSize() > 0 ? f.pixelSize() : f.pointSizeF() * 96.0 / 72.0;
    const bool large = px >= 24 || (f.bold() && px >= 18.66);
    return large ? SystemColor::kLargeTextContrast : SystemColor::kTextContrast;
}

}  // namespace

// Every label every window shows, in both palettes, meets WCAG AA against what it is drawn on.
TEST(WindowContrast, EveryLabelReadsInTheLightAndTheDarkPalette) {
    for (const auto& [paletteName, palette] : {std::pair{"light", lightPalette()}, std::pair{"dark", test::darkDesktopPalette()}}) {
        PaletteScope scope(palette);
        for (const Window& w : windows()) {
            Env env;
            auto view = open(env, w);
            env.engine.publish(busy(0));  // a busy moment: status colours in use
            QCoreApplication::processEvents();
            for (QLabel* label : view->findChildren<QLabel*>()) {
                if (!label->isVisibleTo(view.get()) || label->text().isEmpty() || !label->isEnabled()) continue;
                const QColor fg = label->palette().color(label->foregroundRole());
                const QColor bg = backgroundOf(label);
                const double ratio = SystemColor::contrastRatio(fg, bg);
                EXPECT_GE(ratio, neededContrast(label->font()))
                    << paletteName << " " << w.name << ": " << nameOf(label).toStdString() << " \""
                    << label->text().left(40).toStdString() << "\" " << fg.name(QColor::HexArgb).toStdString()
                    << " on " << bg.name().toStdString();
            }
        }
    }
}

// The painted text of the views: each colour pair they draw, in both palettes.
TEST(WindowContrast, PaintedTextReadsInTheLightAndTheDarkPalette) {
    using Pick = std::function<std::pair<QColor, QColor>(const QPalette&)>;
    auto status = [](QColor c) {
        return Pick([c](const QPalette& p) { return std::pair{SystemColor::textOn(c, p), p.color(QPalette::Window)}; });
    };
    const std::vector<std::pair<const char*, Pick>> pairs{
        {"label on window", [](const QPalette& p) { return std::pair{p.color(QPalette::WindowText), p.color(QPalette::Window)}; }},
        {"secondary on window", [](const QPalette& p) { return std::pair{SystemColor::secondary(p), p.color(QPalette::Window)}; }},
        {"row text on a list", [](const QPalette& p) { return std::pair{p.color(QPalette::Text), p.color(QPalette::Base)}; }},
        {"row label on a list", [](const QPalette& p) { return std::pair{p.color(QPalette::WindowText), p.color(QPalette::Base)}; }},
        {"secondary on a list", [](const QPalette& p) { return std::pair{SystemColor::secondary(p), p.color(QPalette::Base)}; }},
        {"secondary on alternate rows", [](const QPalette& p) { return std::pair{SystemColor::secondary(p), p.color(QPalette::AlternateBase)}; }},
        {"green text", status(SystemColor::green())},
        {"yellow text", status(SystemColor::yellow())},
        {"orange text", status(SystemColor::orange())},
        {"red text", status(SystemColor::red())},
        {"blue text", status(SystemColor::blue())},
        {"teal text", status(SystemColor::teal())},
        {"purple text", status(SystemColor::purple())},
    };
    for (const auto& [paletteName, palette] : {std::pair{"light", lightPalette()}, std::pair{"dark", test::darkDesktopPalette()}})
        for (const auto& [name, pick] : pairs) {
            const auto [fg, bg] = pick(palette);
            EXPECT_GE(SystemColor::contrastRatio(fg, bg), SystemColor::kTextContrast) << paletteName << ": " << name;
        }
}
