// The services model over the systemd user manager, against a stand-in on a private bus.
#include "maintenance/services_service.h"
#include "platform/linux/systemd_user.h"

#include "support/fake_systemd.h"
#include "support/maintenance_printers.h"
#include "support/test_util.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace velmora;
using velmora::test::FakeSystemd;
using velmora::test::FakeSystemdBus;
using Kind = platform::ServiceOutcome::Kind;

namespace {

class SystemdServices : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!bus.ready()) GTEST_SKIP() << "no dbus-daemon";
    }
    std::shared_ptr<platform::ServiceManager> manager(std::chrono::milliseconds timeout = std::chrono::seconds(5),
                                                      std::chrono::milliseconds jobWait = std::chrono::seconds(10)) {
        return std::make_shared<platform::SystemdUserManager>(bus.client(), QStringList{"/home/u/.config/systemd/user"},
                                                              timeout, jobWait);
    }
    static const ServiceItem* find(const ServicesService& s, const QString& label) {
        for (const ServiceItem& i : s.items())
            if (i.label == label) return &i;
        return nullptr;
    }
    FakeSystemdBus bus;
};

}  // namespace

TEST_F(SystemdServices, EveryActionReachesTheManagerAndRescans) {
    ASSERT_TRUE(bus.serve());
    bus.manager().setUnits({{"b.service", 0, 1, ""}, {"a.service", 12, 0, ""}, {"c.service", 0, 0, ""}});
    ServicesService service(manager());
    service.scan();
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading() && !service.items().empty(); }));
    ASSERT_EQ(service.items().size(), 3u);
    EXPECT_EQ(service.items()[0].label, "a.service") << "running first";
    EXPECT_EQ(service.items()[1].label, "b.service");

    service.stop("a.service", true);
    service.start("c.service");
    service.stop("b.service", false);
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_EQ(bus.manager().calls(),
              QStringList({"KillUnit a.service all " + QString::number(SIGKILL), "StopUnit a.service replace",
                           "StartUnit c.service replace", "StopUnit b.service replace"}));
    ASSERT_EQ(service.items().size(), 3u);
    EXPECT_EQ(service.items()[0].label, "c.service") << "the rescan shows the started service running";
    EXPECT_FALSE(service.items()[1].pid.has_value());
}

TEST_F(SystemdServices, BusWithoutAManagerIsNotReachable) {
    ServicesService service(manager());
    service.scan();
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_FALSE(service.reachable());
    EXPECT_TRUE(service.items().empty());
}

// A manager that never answers: the GUI thread keeps turning its event loop while the calls
// wait for their time-out on the worker, and the listing ends as not reachable.
TEST_F(SystemdServices, SilentManagerNeverHoldsTheGuiThread) {
    ASSERT_TRUE(bus.serve());
    bus.manager().setMode(FakeSystemd::Mode::silent);
    ServicesService service(manager(std::chrono::milliseconds(300)));
    int beatsWhileWaiting = 0;
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] { beatsWhileWaiting += service.loading() ? 1 : 0; });
    beat.start();
    service.stop("a.service", false);
    EXPECT_TRUE(service.loading());
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }, std::chrono::seconds(10)));
    EXPECT_FALSE(service.reachable());
    // Two calls wait 300 ms each; a GUI thread held by them would see one beat at most.
    EXPECT_GE(beatsWhileWaiting, 10) << "the event loop kept running while the manager was silent";
}

// The manager answers a stop with a job at once and ends the job later: the rescan waits for
// the job's end, so it shows the service stopped, not still running.
TEST_F(SystemdServices, StopWaitsForTheJobsEndBeforeTheRescan) {
    ASSERT_TRUE(bus.serve());
    bus.manager().setUnits({{"slow.service", 12, 0, ""}});
    bus.manager().setJobs(FakeSystemd::Jobs::held);
    ServicesService service(manager());
    service.scan();
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    ASSERT_EQ(bus.manager().listings(), 1);

    service.stop("slow.service", false);
    ASSERT_TRUE(test::waitUntil([&] { return bus.manager().heldJobs() == 1; }));
    EXPECT_FALSE(test::waitUntil([&] { return bus.manager().listings() > 1; }, std::chrono::milliseconds(300)))
        << "no rescan while the job runs";
    EXPECT_TRUE(service.loading());
    bus.finishJobs("done");
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_EQ(bus.manager().listings(), 2);
    ASSERT_NE(find(service, "slow.service"), nullptr);
    EXPECT_FALSE(find(service, "slow.service")->pid.has_value()) << "the rescan came after the job's end";
    EXPECT_EQ(service.notice(), std::nullopt);
}

TEST_F(SystemdServices, AFailedJobIsShownWithTheManagersResult) {
    ASSERT_TRUE(bus.serve());
    for (const char* result : {"failed", "timeout", "dependency", "canceled"}) {
        SCOPED_TRACE(result);
        bus.manager().setUnits({{"c.service", 0, 0, ""}});
        bus.manager().setJobs(FakeSystemd::Jobs::held);
        ServicesService service(manager());
        service.start("c.service");
        ASSERT_TRUE(test::waitUntil([&] { return bus.manager().heldJobs() == 1; }));
        bus.finishJobs(result);
        ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
        EXPECT_EQ(service.notice(), (ServicesService::Notice{"c.service", false, {Kind::failed, result}}));
        ASSERT_NE(find(service, "c.service"), nullptr);
        EXPECT_FALSE(find(service, "c.service")->pid.has_value());
    }
}

TEST_F(SystemdServices, AJobThatOutlastsTheWaitIsReportedUnfinishedAndTheListFollows) {
    ASSERT_TRUE(bus.serve());
    bus.manager().setUnits({{"stuck.service", 5, 0, ""}});
    bus.manager().setJobs(FakeSystemd::Jobs::held);
    ServicesService service(manager(std::chrono::seconds(5), std::chrono::milliseconds(200)));
    service.stop("stuck.service", false);
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    EXPECT_EQ(service.notice(), (ServicesService::Notice{"stuck.service", true, {Kind::unfinished, {}}}));
    EXPECT_EQ(bus.manager().listings(), 1);
    ASSERT_NE(find(service, "stuck.service"), nullptr);
    EXPECT_EQ(find(service, "stuck.service")->pid, 5) << "the state so far";
}

TEST_F(SystemdServices, RefusedAndUnansweredRequestsAreNoticed) {
    ServicesService noManager(manager());
    noManager.start("a.service");
    ASSERT_TRUE(test::waitUntil([&] { return !noManager.loading(); }));
    EXPECT_EQ(noManager.notice(), (ServicesService::Notice{"a.service", false, {Kind::noAnswer, {}}}));

    ASSERT_TRUE(bus.serve());
    bus.manager().setMode(FakeSystemd::Mode::refuse);
    ServicesService refusing(manager());
    refusing.stop("a.service", false);
    ASSERT_TRUE(test::waitUntil([&] { return !refusing.loading(); }));
    EXPECT_EQ(refusing.notice(), (ServicesService::Notice{"a.service", true, {Kind::refused, "refused"}}));
}

TEST_F(SystemdServices, AnEndBySignalIsToldFromAnExitCode) {
    ASSERT_TRUE(bus.serve());
    struct Case {
        const char* label;
        int status, code;
        bool signaled;
    };
    const Case cases[] = {
        {"exited.service", 3, CLD_EXITED, false},
        {"killed.service", SIGTERM, CLD_KILLED, true},
        {"dumped.service", SIGSEGV, CLD_DUMPED, true},
        {"never.service", 0, 0, false},
    };
    std::vector<test::FakeUnit> units;
    for (const Case& c : cases)
        units.push_back({c.label, 0, c.status, "", QStringLiteral("loaded"), c.code});
    bus.manager().setUnits(units);
    ServicesService service(manager());
    service.scan();
    ASSERT_TRUE(test::waitUntil([&] { return !service.loading(); }));
    for (const Case& c : cases) {
        const ServiceItem* item = find(service, c.label);
        ASSERT_NE(item, nullptr) << c.label;
        EXPECT_EQ(item->lastStatus, c.status) << c.label;
        EXPECT_EQ(item->lastSignaled, c.signaled) << c.label;
    }
}
