// The services model over the systemd user manager, against a stand-in on a private bus.
#include "maintenance/services_service.h"
#include "platform/linux/systemd_user.h"

#include "support/fake_systemd.h"
#include "support/test_util.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

using namespace velmora;
using velmora::test::FakeSystemd;
using velmora::test::FakeSystemdBus;

namespace {

class SystemdServices : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!bus.ready()) GTEST_SKIP() << "no dbus-daemon";
    }
    std::shared_ptr<platform::ServiceManager> manager(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return std::make_shared<platform::SystemdUserManager>(bus.client(), QStringList{"/home/u/.config/systemd/user"},
                                                              timeout);
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
