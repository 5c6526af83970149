#include "app/alert_manager.h"

#include "core/localizer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

class FakeNotifier : public Notifier {
  public:
    struct Log {
        std::vector<UserNotification> posted;
        int authorizationRequests = 0;
        std::function<void(bool)> pendingAnswer;
    };
    explicit FakeNotifier(Log* log) : log_(log) {}
    void requestAuthorization(std::function<void(bool)> answer) override {
        ++log_->authorizationRequests;
        log_->pendingAnswer = std::move(answer);
    }
    void post(const UserNotification& n) override { log_->posted.push_back(n); }

  private:
    Log* log_;
};

Localizer& english() {
    static Localizer loc({QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                         [] { return QStringList(); });
    return loc;
}

Snapshot load(double cpu, double mem = 30) {
    Snapshot s;
    s.cpuTotal = cpu;
    s.memPercent = mem;
    return s;
}

class Alerts : public ::testing::Test {
  protected:
    void SetUp() override {
        settings.setAlertsEnabled(true);
        settings.setCpuThreshold(90);
    }
    std::unique_ptr<AlertManager> make(const QString& entry = QStringLiteral("com.tandrel.velmora")) {
        return std::make_unique<AlertManager>(settings, english(), std::make_unique<FakeNotifier>(&log),
                                              entry, [this] { return now; });
    }

    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    FakeNotifier::Log log;
    std::chrono::steady_clock::time_point now{1000s};
};

}  // namespace

TEST_F(Alerts, DisabledAlertsNeverPost) {
    settings.setAlertsEnabled(false);
    auto alerts = make();
    alerts->consider(load(100, 99));
    EXPECT_TRUE(log.posted.empty());
}

TEST_F(Alerts, TriggersAtTheThresholdOrOnCriticalSeverity) {
    auto alerts = make();
    alerts->consider(load(89.9));
    EXPECT_TRUE(log.posted.empty()) << "below the threshold and not critical";
    alerts->consider(load(90.0));
    ASSERT_EQ(log.posted.size(), 1u);
    EXPECT_EQ(log.posted[0].title, "High load: CPU 90%");

    auto second = make();
    now += 1h;
    second->consider(load(20, 95));
    EXPECT_EQ(log.posted.size(), 2u) << "memory at 95 % is critical although CPU is low";
}

TEST_F(Alerts, CooldownIsSixtySeconds) {
    auto alerts = make();
    alerts->consider(load(95));
    now += 59s;
    alerts->consider(load(95));
    EXPECT_EQ(log.posted.size(), 1u) << "59 s later: still cooling down";
    now += 1s;
    alerts->consider(load(95));
    EXPECT_EQ(log.posted.size(), 2u) << "60 s after the first";
    now += 30s;
    alerts->consider(load(95));
    EXPECT_EQ(log.posted.size(), 2u) << "the window restarts at the last post";
}

TEST_F(Alerts, QuietSnapshotsInsideTheWindowDoNotMoveIt) {
    auto alerts = make();
    alerts->consider(load(95));
    now += 30s;
    alerts->consider(load(10));
    now += 30s;
    alerts->consider(load(95));
    EXPECT_EQ(log.posted.size(), 2u);
}

TEST_F(Alerts, BodyNamesTheFirstProcessAndAddsMemoryFrom85) {
    auto alerts = make();
    Snapshot s = load(97.8, 85.0);
    s.processes.push_back({.pid = 3, .name = "ffmpeg", .cpu = 380.6});
    s.processes.push_back({.pid = 4, .name = "busier-but-second", .cpu = 900});
    UserNotification n = alerts->message(s);
    EXPECT_EQ(n.title, "High load: CPU 97%");
    EXPECT_EQ(n.body, "Busiest process: ffmpeg (380% CPU) · memory 85%");
    EXPECT_TRUE(n.defaultSound);
    EXPECT_FALSE(n.id.isEmpty());
    EXPECT_NE(n.id, alerts->message(s).id) << "a fresh identifier per message";

    s.memPercent = 84.9;
    EXPECT_EQ(alerts->message(s).body, "Busiest process: ffmpeg (380% CPU)");
}

TEST_F(Alerts, EmptyProcessListGivesTheGenericBody) {
    auto alerts = make();
    const UserNotification n = alerts->message(load(99, 97));
    EXPECT_EQ(n.body, english().t("alHighLoadBody")) << "no memory suffix either";
    EXPECT_FALSE(n.body.contains("97"));
}

TEST_F(Alerts, WithoutADesktopEntryNothingIsAskedOrPosted) {
    auto alerts = make(QString());
    alerts->requestAuthorization();
    alerts->consider(load(100));
    EXPECT_EQ(log.authorizationRequests, 0);
    EXPECT_TRUE(log.posted.empty());
}

TEST_F(Alerts, AuthorizationAnswerIsStoredButPostingDoesNotDependOnIt) {
    auto alerts = make();
    alerts->requestAuthorization();
    ASSERT_EQ(log.authorizationRequests, 1);
    EXPECT_FALSE(alerts->authorized());
    log.pendingAnswer(true);
    EXPECT_TRUE(alerts->authorized());
    log.pendingAnswer(false);
    EXPECT_FALSE(alerts->authorized());
    alerts->consider(load(100));
    EXPECT_EQ(log.posted.size(), 1u) << "a refusal is the server's to enforce";

    alerts->requestAuthorization();
    auto late = std::move(log.pendingAnswer);
    alerts.reset();
    late(true);  // answer for a manager that is gone: ignored, no crash
}

TEST_F(Alerts, BrokenReadingsGiveZeroNotGarbage) {
    auto alerts = make();
    Snapshot s = load(std::numeric_limits<double>::quiet_NaN(), 99);
    s.processes.push_back({.pid = 1, .name = "x", .cpu = std::numeric_limits<double>::infinity()});
    const UserNotification n = alerts->message(s);
    EXPECT_EQ(n.title, "High load: CPU 0%");
    EXPECT_TRUE(n.body.startsWith("Busiest process: x (0% CPU)")) << n.body;
}
