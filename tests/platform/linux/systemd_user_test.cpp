// The systemd user manager client against a stand-in manager on a private bus.
#include "platform/linux/systemd_user.h"

#include "support/fake_systemd.h"
#include "support/test_util.h"


#include <gtest/gtest.h>

#include <csignal>
#include <atomic>
#include <thread>

using namespace velmora;
using velmora::test::FakeSystemd;
using velmora::test::FakeSystemdBus;
using velmora::test::FakeUnit;

namespace {

const QString kUserDir = QStringLiteral("/home/u/.config/systemd/user");

class SystemdUser : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!bus.ready()) GTEST_SKIP() << "no dbus-daemon";
    }
    platform::SystemdUserManager client(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return platform::SystemdUserManager(bus.client(), {kUserDir, QStringLiteral("/home/u/.local/share/systemd/user/")},
                                            timeout);
    }
    // The manager answers on the GUI thread's event loop, so blocking calls run elsewhere.
    template <typename F>
    auto offThread(F f) {
        std::optional<decltype(f())> result;
        std::atomic<bool> done{false};
        std::thread t([&] {
            result.emplace(f());
            done = true;
        });
        test::waitUntil([&] { return done.load(); }, std::chrono::seconds(20));
        t.join();
        return std::move(*result);
    }
    FakeSystemdBus bus;
};

}  // namespace

TEST_F(SystemdUser, ListsLoadedServicesWithPidStatusAndOwner) {
    ASSERT_TRUE(bus.serve());
    bus.manager().setUnits({
        {"mine.service", 321, 0, kUserDir + "/mine.service"},
        {"dbus.service", 77, 0, "/usr/lib/systemd/user/dbus.service"},
        {"crashed.service", 0, -9, "/home/u/.local/share/systemd/user/crashed.service"},
        {"transient.service", 0, 3, ""},
        {"worker@one.service", 55, 0, kUserDir + "/worker@.service"},
        {"gone.service", 0, 0, "", "not-found"},
        {"default.target", 0, 0, ""},
        {"odd \t\"name\xC3\xA9.service", 0, 0, ""},
    });
    auto mgr = client();
    const auto items = offThread([&] { return mgr.list(); });
    ASSERT_TRUE(items.has_value());
    struct Want {
        QString label;
        std::optional<int32_t> pid;
        int32_t status;
        bool system;
    };
    const Want want[] = {
        {"mine.service", 321, 0, false},         {"dbus.service", 77, 0, true},
        {"crashed.service", std::nullopt, -9, false}, {"transient.service", std::nullopt, 3, true},
        {"worker@one.service", 55, 0, false},    {QString::fromUtf8("odd \t\"name\xC3\xA9.service"), std::nullopt, 0, true},
    };
    ASSERT_EQ(items->size(), std::size(want)) << "targets and units that did not load are left out";
    for (size_t i = 0; i < std::size(want); ++i) {
        EXPECT_EQ((*items)[i].label, want[i].label);
        EXPECT_EQ((*items)[i].pid, want[i].pid) << want[i].label.toStdString();
        EXPECT_EQ((*items)[i].lastStatus, want[i].status) << want[i].label.toStdString();
        EXPECT_EQ((*items)[i].system, want[i].system) << want[i].label.toStdString();
    }
}

TEST_F(SystemdUser, StopKillAndStartCallTheManager) {
    ASSERT_TRUE(bus.serve());
    bus.manager().setUnits({{"a.service", 10, 0, kUserDir + "/a.service"}});
    auto mgr = client();
    offThread([&] {
        mgr.kill("a.service");
        mgr.stop("a.service");
        mgr.start("a.service");
        return 0;
    });
    EXPECT_EQ(bus.manager().calls(),
              QStringList({"KillUnit a.service all " + QString::number(SIGKILL), "StopUnit a.service replace",
                           "StartUnit a.service replace"}));
}

TEST_F(SystemdUser, NoManagerOnTheBusIsNotReachable) {
    auto mgr = client();
    EXPECT_FALSE(offThread([&] { return mgr.list(); }).has_value());
    offThread([&] {
        mgr.stop("a.service");  // answered with an error at once, never waits for the time-out
        return 0;
    });
}

TEST_F(SystemdUser, RefusingManagerIsNotReachable) {
    ASSERT_TRUE(bus.serve());
    bus.manager().setMode(FakeSystemd::Mode::refuse);
    auto mgr = client();
    EXPECT_FALSE(offThread([&] { return mgr.list(); }).has_value());
}

TEST_F(SystemdUser, SilentManagerTimesOut) {
    ASSERT_TRUE(bus.serve());
    bus.manager().setMode(FakeSystemd::Mode::silent);
    auto mgr = client(std::chrono::milliseconds(200));
    EXPECT_FALSE(offThread([&] { return mgr.list(); }).has_value());
}

TEST_F(SystemdUser, DisconnectedBusIsNotReachable) {
    platform::SystemdUserManager mgr(QDBusConnection(QStringLiteral("never-connected")), {});
    EXPECT_FALSE(mgr.list().has_value());
    mgr.stop("a.service");
}
