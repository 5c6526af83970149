// The storage window: what each section shows for given lists, search text and stop mode,
// and that its buttons reach the services.
#include "ui/storage/storage_view.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "ui/storage/service_list.h"

#include "support/test_util.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

#include <mutex>

using namespace velmora;

namespace {

using Control = ServiceRowView::Control;

class ListManager : public platform::ServiceManager {
  public:
    explicit ListManager(std::optional<std::vector<ServiceItem>> items) : items_(std::move(items)) {}
    std::optional<std::vector<ServiceItem>> list() override {
        std::lock_guard g(lock_);
        return items_;
    }
    platform::ServiceOutcome stop(const QString& l) override {
        record("stop " + l);
        return outcome();
    }
    void kill(const QString& l) override { record("kill " + l); }
    platform::ServiceOutcome start(const QString& l) override {
        record("start " + l);
        return outcome();
    }
    void setOutcome(platform::ServiceOutcome o) {
        std::lock_guard g(lock_);
        outcome_ = std::move(o);
    }
    QStringList calls() {
        std::lock_guard g(lock_);
        return calls_;
    }

  private:
    void record(const QString& c) {
        std::lock_guard g(lock_);
        calls_.push_back(c);
    }
    platform::ServiceOutcome outcome() {
        std::lock_guard g(lock_);
        return outcome_;
    }
    std::mutex lock_;
    std::optional<std::vector<ServiceItem>> items_;
    QStringList calls_;
    platform::ServiceOutcome outcome_;
};

class ListStartup : public StartupSource {
  public:
    explicit ListStartup(std::vector<StartupItem> items) : items_(std::move(items)) {}
    StartupScan scan(const QString&) override {
        std::lock_guard g(lock_);
        return {items_, false};
    }
    std::optional<RemovalFailure> removeLoginItem(const StartupItem& item) override {
        std::lock_guard g(lock_);
        removed_.push_back(item.name);
        if (failure_) return failure_;
        std::erase(items_, item);
        return std::nullopt;
    }
    void failWith(std::optional<RemovalFailure> failure) {
        std::lock_guard g(lock_);
        failure_ = std::move(failure);
    }
    QStringList removed() {
        std::lock_guard g(lock_);
        return removed_;
    }

  private:
    std::mutex lock_;
    std::vector<StartupItem> items_;
    QStringList removed_;
    std::optional<RemovalFailure> failure_;
};

const QString kLogin = QString::fromUtf8(StartupItem::loginItemKind);
const QString kAgent = QString::fromUtf8(StartupItem::launchAgentKind);

std::vector<ServiceItem> manyServices(int n) {
    std::vector<ServiceItem> items;
    for (int i = 0; i < n; ++i)
        items.push_back({QStringLiteral("svc%1.service").arg(i, 3, 10, QLatin1Char('0')),
                         i % 3 == 0 ? std::optional<int32_t>(1000 + i) : std::nullopt, 0, false});
    return items;
}

class Storage : public ::testing::Test {
  protected:
    StorageView& open(std::optional<std::vector<ServiceItem>> services, std::vector<StartupItem> startup = {}) {
        manager = std::make_shared<ListManager>(std::move(services));
        auto source = std::make_unique<ListStartup>(std::move(startup));
        startupSource = source.get();
        view = std::make_unique<StorageView>(settings, loc,
                                             StorageView::Sources{std::move(source), manager,
                                                                  [this](const QString& p) { revealed.push_back(p); }});
        view->resize(620, 560);
        view->show();
        return *view;
    }
    void showServices() {
        view->setSection(StorageView::Section::services);
        ASSERT_TRUE(test::waitUntil([&] { return !view->services().loading(); }));
        QCoreApplication::processEvents();  // lays the list out
    }
    template <typename W>
    W* part(QWidget* row, const char* name) {
        return row ? row->findChild<W*>(QString::fromLatin1(name)) : nullptr;
    }
    // A click in the middle of a service row's Stop or Start button.
    void clickControl(size_t row) {
        ServiceList* list = view->serviceList();
        const QRect r = list->controlRect(row);
        ASSERT_FALSE(r.isEmpty()) << "row " << row << " is on screen";
        const QPointF at = QRectF(r).center();
        const QPointF global = list->viewport()->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list->viewport(), &press);
        QCoreApplication::sendEvent(list->viewport(), &release);
    }
    QImage controlImage(size_t row) {
        ServiceList* list = view->serviceList();
        return list->viewport()->grab(list->controlRect(row)).toImage();
    }

    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); }};
    std::shared_ptr<ListManager> manager;
    ListStartup* startupSource = nullptr;
    std::unique_ptr<StorageView> view;
    QStringList revealed;
};

}  // namespace

TEST_F(Storage, ServiceRowsFollowStateAndMode) {
    struct Case {
        ServiceItem item;
        QString status;
        Control safe, aggressive;
    };
    const Case cases[] = {
        {{"user.service", 42, 0, false}, "Running · PID 42", Control::stop, Control::stop},
        {{"user.service", std::nullopt, 3, false}, "Stopped · last exit 3", Control::start, Control::start},
        {{"user.service", std::nullopt, 0, false}, "Stopped", Control::start, Control::start},
        {{"dbus.service", 7, 0, true}, "Running · PID 7", Control::locked, Control::stop},
        {{"dbus.service", std::nullopt, 0, true}, "Stopped", Control::locked, Control::start},
        {{"velmora-powerd.service", 9, 0, false}, "Running · PID 9", Control::locked, Control::locked},
    };
    for (const Case& c : cases) {
        const auto safe = presentServices({c.item}, {}, false, true, loc);
        const auto aggressive = presentServices({c.item}, {}, true, true, loc);
        ASSERT_EQ(safe.rows.size(), 1u);
        EXPECT_EQ(safe.rows[0].status, c.status);
        EXPECT_EQ(safe.rows[0].control, c.safe) << c.item.label.toStdString();
        EXPECT_EQ(aggressive.rows[0].control, c.aggressive) << c.item.label.toStdString();
        EXPECT_FALSE(safe.rows[0].stopIsRed);
        EXPECT_EQ(aggressive.rows[0].stopIsRed, c.aggressive == Control::stop);
    }
}

TEST_F(Storage, SearchIgnoresCaseAndTheCountLineCountsTheWholeList) {
    const std::vector<ServiceItem> items{{"com.apple.x", 1}, {"org.gnome.y", 2}, {"z.service", std::nullopt}};
    const auto all = presentServices(items, {}, false, true, loc);
    EXPECT_EQ(all.countLine, "2 running · 3 shown");
    const auto found = presentServices(items, "APPLE", false, true, loc);
    ASSERT_EQ(found.rows.size(), 1u);
    EXPECT_EQ(found.rows[0].label, "com.apple.x");
    EXPECT_EQ(found.countLine, "2 running · 1 shown");
    EXPECT_TRUE(presentServices(items, "nothing", false, true, loc).rows.empty());
}

TEST_F(Storage, AtMostThreeHundredRowsAndTheRestCounted) {
    open(manyServices(450));
    showServices();
    const ServicesPresentation& p = view->servicesShown();
    EXPECT_EQ(p.rows.size(), 300u);
    EXPECT_EQ(p.moreLine, "150 more");
    EXPECT_EQ(p.countLine, "150 running · 450 shown");
    EXPECT_EQ(view->serviceList()->model()->rowCount(), 300);
    EXPECT_EQ(view->serviceList()->rows().front().label, "svc000.service");

    view->setServiceSearch("svc44");  // svc440 .. svc449
    EXPECT_EQ(view->servicesShown().rows.size(), 10u);
    EXPECT_TRUE(view->servicesShown().moreLine.isEmpty());
    EXPECT_EQ(view->serviceList()->model()->rowCount(), 10);
    EXPECT_EQ(view->servicesShown().countLine, "150 running · 10 shown");
}

TEST_F(Storage, SwitchingTheStopModeChangesLocksAndTintAtOnce) {
    open(std::vector<ServiceItem>{{"dbus.service", 7, 0, true}, {"mine.service", 8, 0, false}});
    showServices();
    ServiceList* list = view->serviceList();
    EXPECT_EQ(list->rows()[0].control, Control::locked);
    EXPECT_EQ(list->rows()[1].control, Control::stop);
    const QRect lock = list->controlRect(0);
    const QImage plainStop = controlImage(1);

    settings.setAggressiveServiceStop(true);
    EXPECT_EQ(list->rows()[0].control, Control::stop);
    EXPECT_GT(list->controlRect(0).width(), lock.width()) << "a button where the lock was";
    QCoreApplication::processEvents();
    EXPECT_NE(controlImage(1), plainStop) << "Stop is drawn red";
    EXPECT_EQ(view->servicesShown().modeText, "Forceful stop");

    settings.setAggressiveServiceStop(false);
    EXPECT_EQ(list->rows()[0].control, Control::locked);
    QCoreApplication::processEvents();
    EXPECT_EQ(controlImage(1), plainStop);
}

TEST_F(Storage, StopAndStartButtonsReachTheManager) {
    open(std::vector<ServiceItem>{{"a.service", 5, 0, false}, {"b.service", std::nullopt, 0, false},
                                  {"dbus.service", 6, 0, true}});
    showServices();  // running first: a, dbus, then b
    clickControl(0);
    ASSERT_TRUE(test::waitUntil([&] { return !view->services().loading(); }));
    clickControl(1);  // locked: nothing happens
    settings.setAggressiveServiceStop(true);
    clickControl(0);
    clickControl(1);  // the system's services open up in the aggressive mode
    clickControl(2);
    ASSERT_TRUE(test::waitUntil([&] { return !view->services().loading(); }));
    EXPECT_EQ(manager->calls(), QStringList({"stop a.service", "kill a.service", "stop a.service", "kill dbus.service",
                                             "stop dbus.service", "start b.service"}));
}

TEST_F(Storage, UnreachableManagerSaysSoAndListsNothing) {
    open(std::nullopt);
    showServices();
    EXPECT_TRUE(view->servicesShown().unreachable);
    EXPECT_TRUE(view->servicesShown().rows.empty());
    const auto labels = view->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.cbegin(), labels.cend(), [](QLabel* l) {
        return l->isVisible() && l->text() == "The service manager is not reachable.";
    }));
}

TEST_F(Storage, StartupRowsRevealAndRemoveWhereTheyApply) {
    open(std::vector<ServiceItem>{}, {{"Clock", "/etc/xdg/autostart/clock.desktop", kLogin},
                                      {"Pathless", "", kLogin},
                                      {"sync.service", "/home/u/.config/systemd/user/sync.service", kAgent}});
    ASSERT_TRUE(test::waitUntil([&] { return view->startupShown().size() == 3; }));
    const auto& rows = view->startupShown();
    EXPECT_EQ(rows[0].detail, "Login item, /etc/xdg/autostart/clock.desktop");
    EXPECT_EQ(rows[1].detail, "Login item") << "only the kind without a path";
    EXPECT_EQ(rows[2].detail, "User service, /home/u/.config/systemd/user/sync.service");

    QWidget* clock = view->startupRow(0);
    QWidget* pathless = view->startupRow(1);
    QWidget* agent = view->startupRow(2);
    EXPECT_TRUE(part<QToolButton>(clock, "reveal")->isVisible());
    EXPECT_TRUE(part<QToolButton>(clock, "remove")->isVisible());
    EXPECT_FALSE(part<QToolButton>(pathless, "reveal")->isVisible());
    EXPECT_TRUE(part<QToolButton>(pathless, "remove")->isVisible());
    EXPECT_TRUE(part<QToolButton>(agent, "reveal")->isVisible());
    EXPECT_FALSE(part<QToolButton>(agent, "remove")->isVisible()) << "an agent is never removed";

    part<QToolButton>(agent, "reveal")->click();
    EXPECT_EQ(revealed, QStringList({"/home/u/.config/systemd/user/sync.service"}));
    part<QToolButton>(clock, "remove")->click();
    ASSERT_TRUE(test::waitUntil([&] { return view->startupShown().size() == 2; }));
    EXPECT_EQ(startupSource->removed(), QStringList({"Clock"}));
}

TEST_F(Storage, EmptyStartupSaysSoAndLanguageChangesTheKinds) {
    open(std::vector<ServiceItem>{}, {{"Clock", "/a.desktop", kLogin}});
    ASSERT_TRUE(test::waitUntil([&] { return !view->startupShown().empty(); }));
    loc.apply("ko");
    EXPECT_EQ(view->startupShown()[0].detail, QString::fromUtf8("로그인 항목, /a.desktop"));
    loc.apply("de");
    EXPECT_EQ(view->startupShown()[0].detail, "Anmeldeobjekt, /a.desktop");

    Storage::open(std::vector<ServiceItem>{}, {});
    ASSERT_TRUE(test::waitUntil([&] { return !view->startup().loading(); }));
    const auto labels = view->findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.cbegin(), labels.cend(),
                            [&](QLabel* l) { return l->isVisible() && l->text() == loc.t("stgNoStartup"); }));
}
