// The storage window: what each section shows for given lists, search text and stop mode,
// and that its buttons reach the services.
#include "ui/storage/storage_view.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "ui/storage/service_list.h"

#include "support/test_util.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
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
        {{"user.service", std::nullopt, 15, false, true}, "Stopped · ended by signal 15", Control::start, Control::start},
        {{"user.service", std::nullopt, 15, false, false}, "Stopped · last exit 15", Control::start, Control::start},
        {{"user.service", 8, 9, false, true}, "Running · PID 8", Control::stop, Control::stop},
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

TEST_F(Storage, EveryOutcomeOfAStopOrStartReadsAsWhatHappened) {
    using Kind = platform::ServiceOutcome::Kind;
    struct Case {
        bool stopping;
        platform::ServiceOutcome outcome;
        const char* text;
    };
    const Case cases[] = {
        {true, {Kind::failed, "failed"}, "a.service could not be stopped: it failed"},
        {false, {Kind::failed, "timeout"}, "a.service could not be started: it timed out"},
        {true, {Kind::failed, "canceled"}, "a.service could not be stopped: the request was canceled"},
        {false, {Kind::failed, "dependency"}, "a.service could not be started: a unit it depends on failed"},
        {false, {Kind::failed, "skipped"}, "a.service could not be started: it was skipped"},
        {false, {Kind::failed, "assert"}, "a.service could not be started: its start conditions were not met"},
        {true, {Kind::failed, "frozen"}, "a.service could not be stopped: the service manager reported “frozen”"},
        {true, {Kind::refused, "Access denied"}, "a.service could not be stopped: the service manager refused: Access denied"},
        {false, {Kind::noAnswer, {}}, "a.service could not be started: the service manager did not answer"},
        {true, {Kind::unfinished, {}}, "a.service is still stopping; the list shows its state so far."},
        {false, {Kind::unfinished, {}}, "a.service is still starting; the list shows its state so far."},
        {true, {}, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(serviceNoticeText({"a.service", c.stopping, c.outcome}, loc), QString::fromUtf8(c.text)) << c.text;
    loc.apply("de");
    EXPECT_EQ(serviceNoticeText({"a.service", false, {Kind::failed, "timeout"}}, loc),
              QString::fromUtf8("a.service konnte nicht gestartet werden: die Zeit ist abgelaufen"));
}

TEST_F(Storage, AFailedStopIsShownUntilTheNextListing) {
    open(std::vector<ServiceItem>{{"a.service", 5, 0, false}});
    showServices();
    auto* notice = view->findChild<QLabel*>("serviceNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->isVisible());
    manager->setOutcome({platform::ServiceOutcome::Kind::failed, "timeout"});
    clickControl(0);
    ASSERT_TRUE(test::waitUntil([&] { return !view->services().loading(); }));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_EQ(notice->text(), "a.service could not be stopped: it timed out");
    view->services().scan();
    ASSERT_TRUE(test::waitUntil([&] { return !view->services().loading(); }));
    EXPECT_FALSE(notice->isVisible());
}

// Tab moves from one row's button to the next (locked rows are passed over) and on out of the
// list; Space presses the focused button, which reaches the service manager.
TEST_F(Storage, StopAndStartAreReachedByTabAndPressedBySpace) {
    open(std::vector<ServiceItem>{{"a.service", 5, 0, false}, {"b.service", std::nullopt, 0, false},
                                  {"dbus.service", 6, 0, true}});
    showServices();  // running first: a, dbus, then b
    QApplication::setActiveWindow(view.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    ServiceList* list = view->serviceList();
    auto* search = view->findChild<QLineEdit*>();
    ASSERT_NE(search, nullptr);
    search->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(search->hasFocus());

    const QImage unfocused = controlImage(0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(list->hasFocus()) << "the list takes the focus after the search field";
    EXPECT_EQ(list->focusedRow(), 0);
    EXPECT_NE(controlImage(0), unfocused) << "the focused button shows it";
    QTest::keyClick(list, Qt::Key_Space);
    ASSERT_TRUE(test::waitUntil([&] { return !view->services().loading(); }));
    EXPECT_EQ(manager->calls(), QStringList({"stop a.service"}));
    EXPECT_EQ(list->focusedRow(), 0) << "the focus stays with its service across the rescan";

    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_TRUE(list->hasFocus());
    EXPECT_EQ(list->focusedRow(), 2) << "the locked row is passed over";
    QTest::keyClick(list, Qt::Key_Space);
    ASSERT_TRUE(test::waitUntil([&] { return !view->services().loading(); }));
    EXPECT_EQ(manager->calls(), QStringList({"stop a.service", "start b.service"}));

    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_FALSE(list->hasFocus()) << "past the last button the focus moves on";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    ASSERT_TRUE(list->hasFocus());
    EXPECT_EQ(list->focusedRow(), 2) << "Backtab comes back to the last button";
    QTest::keyClick(list, Qt::Key_Backtab);
    EXPECT_EQ(list->focusedRow(), 0);
    QTest::keyClick(list, Qt::Key_Up);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(list->focusedRow(), 1) << "the arrows reach every row";
    QTest::keyClick(list, Qt::Key_Space);  // a lock: nothing to press
    QTest::keyClick(list, Qt::Key_Return, Qt::NoModifier);
    settings.setAggressiveServiceStop(true);
    QTest::keyClick(list, Qt::Key_Return);  // the same row opens up in the aggressive mode
    ASSERT_TRUE(test::waitUntil([&] { return !view->services().loading(); }));
    EXPECT_EQ(manager->calls(), QStringList({"stop a.service", "start b.service", "kill dbus.service", "stop dbus.service"}));

    QAbstractItemModel* model = list->model();
    EXPECT_EQ(model->data(model->index(0, 0), Qt::AccessibleTextRole).toString(),
              "Stop button: a.service, Running · PID 5");
    settings.setAggressiveServiceStop(false);
    EXPECT_EQ(model->data(model->index(1, 0), Qt::AccessibleTextRole).toString(),
              "Protected: dbus.service, Running · PID 6");
    EXPECT_EQ(model->data(model->index(2, 0), Qt::AccessibleTextRole).toString(), "Start button: b.service, Stopped");
}

TEST_F(Storage, WhatWontStartIsGreyedWithItsReasonAndTheSystemsUnitsAreLocked) {
    using State = StartupItem::State;
    struct Case {
        State state;
        QString detail;
        const char* reason;
    };
    const Case cases[] = {
        {State::starts, {}, ""},
        {State::hidden, {}, "Won't start: switched off (Hidden)"},
        {State::switchedOff, {}, "Won't start: switched off in the desktop's settings"},
        {State::otherDesktop, {}, "Won't start: not for this desktop"},
        {State::noCommand, {}, "Won't start: no command to run"},
        {State::programMissing, "syncd", "Won't start: program syncd is missing"},
        {State::masked, {}, "Won't start: masked"},
        {State::disabled, {}, "Won't start: not enabled"},
    };
    for (const Case& c : cases) {
        StartupItem item{"X", "/x.desktop", kLogin, c.state, c.detail};
        const auto rows = presentStartup({item}, loc);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].reason, QString::fromUtf8(c.reason));
        EXPECT_EQ(rows[0].starts, c.state == State::starts);
        EXPECT_EQ(rows[0].removable, c.state != State::hidden) << "a hidden entry is switched off already";
        EXPECT_FALSE(rows[0].locked);
    }

    StartupItem unit{"pkg.service", "/usr/lib/systemd/user/pkg.service", kAgent};
    unit.system = true;
    StartupItem disabled{"mine.service", "/home/u/.config/systemd/user/mine.service", kAgent, State::disabled};
    open(std::vector<ServiceItem>{}, {{"Clock", "/a.desktop", kLogin}, disabled, unit});
    ASSERT_TRUE(test::waitUntil([&] { return view->startupShown().size() == 3; }));
    QWidget* clock = view->startupRow(0);
    QWidget* mine = view->startupRow(1);
    QWidget* pkg = view->startupRow(2);
    EXPECT_FALSE(part<QLabel>(clock, "reason")->isVisible());
    EXPECT_TRUE(part<QLabel>(mine, "reason")->isVisible());
    EXPECT_EQ(part<QLabel>(mine, "reason")->text(), "Won't start: not enabled");
    EXPECT_NE(part<QLabel>(mine, "name")->palette().color(QPalette::WindowText),
              part<QLabel>(clock, "name")->palette().color(QPalette::WindowText))
        << "drawn greyed";
    EXPECT_FALSE(part<QToolButton>(mine, "remove")->isVisible()) << "a unit is never removed";
    EXPECT_TRUE(part<QLabel>(pkg, "lock")->isVisible()) << "the system's unit, in the safe mode";
    EXPECT_FALSE(part<QLabel>(clock, "lock")->isVisible());
    settings.setAggressiveServiceStop(true);
    EXPECT_FALSE(part<QLabel>(pkg, "lock")->isVisible());
    settings.setAggressiveServiceStop(false);
    EXPECT_TRUE(part<QLabel>(pkg, "lock")->isVisible());
}

TEST_F(Storage, AFailedRemovalSaysWhyAndTheRowStays) {
    using Reason = RemovalFailure::Reason;
    const std::pair<Reason, const char*> texts[] = {
        {Reason::unparsable,
         "“Clock” was left alone: /p no longer reads as a startup entry. Refresh the list, or fix the file by hand."},
        {Reason::linkNotOwned, "“Clock” was left alone: it links to /p, which belongs to another user."},
        {Reason::danglingLink, "“Clock” was left alone: its link /p points to nothing."},
        {Reason::folderInTheWay, "“Clock” could not be switched off: a folder is in the way at /p."},
        {Reason::changed, "“Clock” was left alone: /p changed since the list was read. Refresh and try again."},
        {Reason::unreadable, "“Clock” could not be switched off: /p could not be read."},
        {Reason::unwritable, "“Clock” could not be switched off: nothing can be written in /p."},
    };
    for (const auto& [reason, text] : texts)
        EXPECT_EQ(removalFailureText({"Clock", {reason, "/p"}}, loc), QString::fromUtf8(text));

    open(std::vector<ServiceItem>{}, {{"Clock", "/etc/xdg/autostart/clock.desktop", kLogin}});
    ASSERT_TRUE(test::waitUntil([&] { return view->startupShown().size() == 1; }));
    auto* failure = view->findChild<QLabel*>("startupFailure");
    ASSERT_NE(failure, nullptr);
    EXPECT_FALSE(failure->isVisible());
    startupSource->failWith(RemovalFailure{Reason::unwritable, "/home/u/.config/autostart"});
    part<QToolButton>(view->startupRow(0), "remove")->click();
    ASSERT_TRUE(test::waitUntil([&] { return !view->startup().loading(); }));
    EXPECT_EQ(startupSource->removed(), QStringList({"Clock"}));
    EXPECT_TRUE(failure->isVisible());
    EXPECT_EQ(failure->text(),
              QString::fromUtf8("“Clock” could not be switched off: nothing can be written in /home/u/.config/autostart."));
    ASSERT_EQ(view->startupShown().size(), 1u) << "the row stays";
    EXPECT_TRUE(view->startupShown()[0].removable);

    startupSource->failWith(std::nullopt);
    part<QToolButton>(view->startupRow(0), "remove")->click();
    ASSERT_TRUE(test::waitUntil([&] { return !view->startup().loading(); }));
    EXPECT_FALSE(failure->isVisible());
    EXPECT_TRUE(view->startupShown().empty());
}
