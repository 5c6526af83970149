// The services and startup models: actions run off the GUI thread in order, each followed by
// a listing, and listings publish in the order they were asked for.
#include "maintenance/services_service.h"
#include "maintenance/startup_service.h"

#include "support/maintenance_printers.h"
#include "support/test_util.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace velmora;

namespace {

// Records the calls; each listing answers the next prepared list (the last one repeats).
// `hold` keeps listings waiting until released.
class RecordingManager : public platform::ServiceManager {
  public:
    std::optional<std::vector<ServiceItem>> list() override {
        std::unique_lock g(lock_);
        calls_.push_back("list");
        released_.wait(g, [&] { return !held_; });
        threads_.push_back(std::this_thread::get_id());
        if (answers_.empty()) return std::nullopt;
        auto answer = answers_.front();
        if (answers_.size() > 1) answers_.erase(answers_.begin());
        return answer;
    }
    platform::ServiceOutcome stop(const QString& label) override {
        record("stop " + label);
        return outcome();
    }
    void kill(const QString& label) override { record("kill " + label); }
    platform::ServiceOutcome start(const QString& label) override {
        record("start " + label);
        return outcome();
    }
    void setOutcome(platform::ServiceOutcome o) {
        std::lock_guard g(lock_);
        outcome_ = std::move(o);
    }

    void answer(std::vector<std::optional<std::vector<ServiceItem>>> answers) {
        std::lock_guard g(lock_);
        answers_ = std::move(answers);
    }
    void hold(bool on) {
        {
            std::lock_guard g(lock_);
            held_ = on;
        }
        released_.notify_all();
    }
    QStringList calls() {
        std::lock_guard g(lock_);
        return calls_;
    }
    bool ranOn(std::thread::id id) {
        std::lock_guard g(lock_);
        return std::find(threads_.begin(), threads_.end(), id) != threads_.end();
    }

  private:
    void record(const QString& call) {
        std::lock_guard g(lock_);
        calls_.push_back(call);
    }
    platform::ServiceOutcome outcome() {
        std::lock_guard g(lock_);
        return outcome_;
    }
    platform::ServiceOutcome outcome_;
    std::mutex lock_;
    std::condition_variable released_;
    bool held_ = false;
    QStringList calls_;
    std::vector<std::thread::id> threads_;
    std::vector<std::optional<std::vector<ServiceItem>>> answers_;
};

}  // namespace

TEST(ServicesService, SafeAndAggressiveStopCallOrder) {
    struct Case {
        bool force;
        QStringList calls;
    };
    const Case cases[] = {
        {false, {"stop a.service", "list"}},
        {true, {"kill a.service", "stop a.service", "list"}},
    };
    for (const Case& c : cases) {
        auto manager = std::make_shared<RecordingManager>();
        manager->answer({std::vector<ServiceItem>{{"a.service", std::nullopt, 0, false}}});
        ServicesService service(manager);
        service.stop("a.service", c.force);
        ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
        EXPECT_EQ(manager->calls(), c.calls);
        EXPECT_FALSE(manager->ranOn(std::this_thread::get_id())) << "never on the GUI thread";
        ASSERT_EQ(service.items().size(), 1u);
    }
}

TEST(ServicesService, StartThenListAndTheProgramsOwnAreNeverTouched) {
    auto manager = std::make_shared<RecordingManager>();
    manager->answer({std::vector<ServiceItem>{}});
    ServicesService service(manager);
    service.stop("velmora-powerd.service", true);
    service.start("velmora.service");
    service.start("b.service");
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_EQ(manager->calls(), QStringList({"start b.service", "list"}));
}

TEST(ServicesService, PublishesSortedAndInRequestOrder) {
    auto manager = std::make_shared<RecordingManager>();
    manager->answer({std::vector<ServiceItem>{{"b", std::nullopt}, {"a", std::nullopt}, {"z", 3}},
                     std::vector<ServiceItem>{{"only", 1}}});
    ServicesService service(manager);
    service.scan();
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    ASSERT_EQ(service.items().size(), 3u);
    EXPECT_EQ(service.items()[0].label, "z");
    EXPECT_EQ(service.items()[2].label, "b");
    std::vector<QStringList> published;
    QObject::connect(&service, &ServicesService::changed, [&] {
        if (service.loading()) return;
        QStringList l;
        for (const ServiceItem& i : service.items())
            l.push_back(i.label);
        published.push_back(l);
    });
    manager->hold(true);
    service.scan();
    service.scan();
    EXPECT_TRUE(service.loading());
    manager->hold(false);
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    ASSERT_EQ(published.size(), 1u) << "loading stays on until the later scan publishes";
    EXPECT_EQ(published.back(), QStringList({"only"}));
    EXPECT_EQ(manager->calls(), QStringList({"list", "list", "list"}));
}

TEST(ServicesService, UnreachableManagerListsNothing) {
    auto manager = std::make_shared<RecordingManager>();
    manager->answer({std::vector<ServiceItem>{{"a", 1}}, std::nullopt});
    ServicesService service(manager);
    service.scan();
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_TRUE(service.reachable());
    EXPECT_EQ(service.items().size(), 1u);
    service.scan();
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_FALSE(service.reachable());
    EXPECT_TRUE(service.items().empty());
}

TEST(ServicesService, GoneBeforeTheAnswerPublishesNothing) {
    auto manager = std::make_shared<RecordingManager>();
    manager->answer({std::vector<ServiceItem>{}});
    manager->hold(true);
    bool changedAfter = false;
    {
        ServicesService service(manager);
        service.scan();
        QObject::connect(&service, &ServicesService::changed, [&] { changedAfter = true; });
        std::thread([manager] { manager->hold(false); }).detach();
    }
    test::waitUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_FALSE(changedAfter);
}

namespace {

class CountingStartup : public StartupSource {
  public:
    StartupScan scan(const QString& language) override {
        std::lock_guard g(lock);
        languages.push_back(language);
        StartupScan s;
        s.needsPermission = permissionOnce && languages.size() == 1;
        for (const StartupItem& i : items)
            if (!removed.contains(i.name)) s.items.push_back(i);
        return s;
    }
    std::optional<RemovalFailure> removeLoginItem(const StartupItem& item) override {
        std::lock_guard g(lock);
        removed.push_back(item.name);
        return failure;
    }
    std::mutex lock;
    QStringList languages, removed;
    bool permissionOnce = false;
    std::optional<RemovalFailure> failure;
    std::vector<StartupItem> items{{"L", "/l", QString::fromUtf8(StartupItem::loginItemKind)},
                                   {"A", "/a", QString::fromUtf8(StartupItem::launchAgentKind)}};
};

}  // namespace

TEST(StartupService, RemovesLoginItemsOnlyAndRescans) {
    auto* source = new CountingStartup;
    source->permissionOnce = true;
    StartupService service{std::unique_ptr<StartupSource>(source)};
    service.scan("ko");
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_EQ(service.items().size(), 2u);
    EXPECT_TRUE(service.needsPermission());
    service.removeLoginItem(service.items()[1], "ko");  // an agent: nothing happens
    service.removeLoginItem(service.items()[0], "ko");
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    ASSERT_EQ(service.items().size(), 1u);
    EXPECT_EQ(service.items()[0].name, "A");
    EXPECT_TRUE(service.needsPermission()) << "the note stays once set";
    std::lock_guard g(source->lock);
    EXPECT_EQ(source->removed, QStringList({"L"}));
    EXPECT_EQ(source->languages, QStringList({"ko", "ko"}));
}

TEST(ServicesService, AnActionThatDidNotEndAsAskedIsPublishedUntilTheNextListing) {
    using Kind = platform::ServiceOutcome::Kind;
    struct Case {
        bool stop;
        platform::ServiceOutcome outcome;
        bool notice;
    };
    const Case cases[] = {
        {true, {}, false},
        {false, {}, false},
        {true, {Kind::failed, "timeout"}, true},
        {false, {Kind::failed, "dependency"}, true},
        {true, {Kind::refused, "Unit a.service not loaded."}, true},
        {false, {Kind::noAnswer, {}}, true},
        {true, {Kind::unfinished, {}}, true},
    };
    for (const Case& c : cases) {
        auto manager = std::make_shared<RecordingManager>();
        manager->answer({std::vector<ServiceItem>{{"a.service", std::nullopt, 0, false}}});
        manager->setOutcome(c.outcome);
        ServicesService service(manager);
        if (c.stop)
            service.stop("a.service", false);
        else
            service.start("a.service");
        ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
        if (c.notice)
            EXPECT_EQ(service.notice(), (ServicesService::Notice{"a.service", c.stop, c.outcome}));
        else
            EXPECT_EQ(service.notice(), std::nullopt);
        service.scan();
        ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
        EXPECT_EQ(service.notice(), std::nullopt) << "a later listing clears it";
    }
}

TEST(StartupService, AFailedRemovalIsPublishedWithTheItemsNameUntilTheNextListing) {
    auto* source = new CountingStartup;
    source->failure = RemovalFailure{RemovalFailure::Reason::unwritable, "/home/u/.config/autostart"};
    StartupService service{std::unique_ptr<StartupSource>(source)};
    service.scan("en");
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_EQ(service.failedRemoval(), std::nullopt);
    service.removeLoginItem(service.items()[0], "en");
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_EQ(service.failedRemoval(), (FailedRemoval{"L", *source->failure}));
    service.scan("en");
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_EQ(service.failedRemoval(), std::nullopt);
}
