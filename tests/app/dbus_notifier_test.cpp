// The notifier against a fake notification server on a private session bus.
#include "app/dbus_notifier.h"

#include "support/test_util.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusError>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <optional>

using namespace velmora;

namespace {

class FakeServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Received {
        QString app, icon, summary, body;
        uint replaces = 99;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };
    bool refuse = false;
    QStringList capabilities = {QStringLiteral("body"), QStringLiteral("sound")};
    int capabilityCalls = 0;
    std::vector<Received> received;

  public slots:
    QStringList GetCapabilities() {
        ++capabilityCalls;
        if (refuse) sendErrorReply(QDBusError::AccessDenied, QStringLiteral("notifications are off"));
        return capabilities;
    }
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout) {
        received.push_back({app, icon, summary, body, replaces, actions, hints, timeout});
        return static_cast<uint>(received.size());
    }
};

// A private dbus-daemon for one test.
class PrivateBus : public ::testing::Test {
  protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
        process.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
        ASSERT_TRUE(process.waitForStarted(5000));
        ASSERT_TRUE(test::waitUntil([&] { return process.canReadLine(); }));
        address = QString::fromUtf8(process.readLine().trimmed());
        ASSERT_FALSE(address.isEmpty());
        client.emplace(QDBusConnection::connectToBus(address, QStringLiteral("velmora-client")));
        serverBus.emplace(QDBusConnection::connectToBus(address, QStringLiteral("velmora-server")));
        ASSERT_TRUE(client->isConnected());
        ASSERT_TRUE(serverBus->isConnected());
    }
    void TearDown() override {
        client.reset();
        serverBus.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("velmora-client"));
        QDBusConnection::disconnectFromBus(QStringLiteral("velmora-server"));
        if (process.state() != QProcess::NotRunning) {
            process.terminate();
            process.waitForFinished(3000);
        }
    }
    void serve() {
        ASSERT_TRUE(serverBus->registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                              QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(serverBus->registerService(QStringLiteral("org.freedesktop.Notifications")));
    }
    std::optional<bool> authorize(DBusNotifier& notifier) {
        std::optional<bool> answer;
        notifier.requestAuthorization([&](bool granted) { answer = granted; });
        test::waitUntil([&] { return answer.has_value(); }, std::chrono::seconds(8));
        return answer;
    }

    QProcess process;
    QString address;
    std::optional<QDBusConnection> client;
    std::optional<QDBusConnection> serverBus;
    FakeServer server;
};

}  // namespace

TEST_F(PrivateBus, PostsTitleBodyAndTheDefaultSound) {
    serve();
    DBusNotifier notifier(*client, QStringLiteral("Velmora"), QStringLiteral("com.tandrel.velmora"));
    EXPECT_EQ(authorize(notifier), std::optional<bool>(true));

    notifier.post(
        {QStringLiteral("id-1"), QStringLiteral("High load: CPU 97%"), QStringLiteral("Busiest: x"), true});
    ASSERT_TRUE(test::waitUntil([&] { return !server.received.empty(); }));
    const FakeServer::Received& r = server.received.front();
    EXPECT_EQ(r.app, "Velmora");
    EXPECT_EQ(r.replaces, 0u) << "every alert is a new message";
    EXPECT_EQ(r.summary, "High load: CPU 97%");
    EXPECT_EQ(r.body, "Busiest: x");
    EXPECT_TRUE(r.actions.isEmpty());
    EXPECT_EQ(r.hints.value("sound-name").toString(), DBusNotifier::kDefaultSoundName);
    EXPECT_EQ(r.hints.value("desktop-entry").toString(), "com.tandrel.velmora");
    EXPECT_EQ(r.timeout, -1) << "the server's own display time";
}

// A server that renders markup in bodies gets "<", ">" and "&" escaped; one that shows plain
// text gets them as they are. Either way its capabilities are asked once, by the first post.
TEST_F(PrivateBus, BodyIsEscapedOnlyForServersThatRenderMarkup) {
    struct Case {
        QStringList capabilities;
        QString body, secondBody;
    };
    const Case cases[] = {
        {{"body", "body-markup", "sound"}, "Busiest: a&lt;b&gt;&amp;c 97%", "&lt;i&gt;x&lt;/i&gt;"},
        {{"body", "sound"}, "Busiest: a<b>&c 97%", "<i>x</i>"},
    };
    serve();
    for (const Case& c : cases) {
        server.capabilities = c.capabilities;
        server.capabilityCalls = 0;
        server.received.clear();
        DBusNotifier notifier(*client, QStringLiteral("Velmora"), QStringLiteral("com.tandrel.velmora"));
        notifier.post({"id-1", "High load: a<b>&c", "Busiest: a<b>&c 97%", true});
        notifier.post({"id-2", "t", "<i>x</i>", true});
        ASSERT_TRUE(test::waitUntil([&] { return server.received.size() == 2; }));
        notifier.post({"id-3", "t", "<i>x</i>", true});
        ASSERT_TRUE(test::waitUntil([&] { return server.received.size() == 3; }));
        const std::string caps = c.capabilities.join(' ').toStdString();
        EXPECT_EQ(server.received[0].summary, "High load: a<b>&c") << "the summary is never markup";
        EXPECT_EQ(server.received[0].body, c.body) << caps;
        EXPECT_EQ(server.received[1].body, c.secondBody) << caps;
        EXPECT_EQ(server.received[2].body, c.secondBody) << caps;
        EXPECT_EQ(server.capabilityCalls, 1) << caps;
    }
}

TEST_F(PrivateBus, AuthorizationAnswersTheCapabilitiesForLaterPosts) {
    server.capabilities = {"body", "body-markup"};
    serve();
    DBusNotifier notifier(*client, QStringLiteral("Velmora"), QStringLiteral("com.tandrel.velmora"));
    EXPECT_EQ(authorize(notifier), std::optional<bool>(true));
    notifier.post({"id", "t", "1 < 2", true});
    ASSERT_TRUE(test::waitUntil([&] { return !server.received.empty(); }));
    EXPECT_EQ(server.received.front().body, "1 &lt; 2");
    EXPECT_EQ(server.capabilityCalls, 1);
}

TEST_F(PrivateBus, MissingServerAnswersNoAndPostsQuietlyFail) {
    DBusNotifier notifier(*client, QStringLiteral("Velmora"), QStringLiteral("com.tandrel.velmora"));
    EXPECT_EQ(authorize(notifier), std::optional<bool>(false));
    notifier.post({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b"), true});
    test::waitUntil([] { return false; },
                    std::chrono::milliseconds(200));  // the error reply arrives and is dropped
}

TEST_F(PrivateBus, RefusingServerAnswersNo) {
    server.refuse = true;
    serve();
    DBusNotifier notifier(*client, QStringLiteral("Velmora"), QStringLiteral("com.tandrel.velmora"));
    EXPECT_EQ(authorize(notifier), std::optional<bool>(false));
}

TEST_F(PrivateBus, DisconnectedBusAnswersNoAtOnce) {
    DBusNotifier notifier(QDBusConnection(QStringLiteral("never-connected")), QStringLiteral("Velmora"),
                          QString());
    std::optional<bool> answer;
    notifier.requestAuthorization([&](bool granted) { answer = granted; });
    EXPECT_EQ(answer, std::optional<bool>(false));
    notifier.post({QStringLiteral("id"), QStringLiteral("t"), QStringLiteral("b"), true});
}

TEST_F(PrivateBus, NotifierGoneBeforeTheAnswerCallsNothing) {
    serve();
    bool called = false;
    {
        DBusNotifier notifier(*client, QStringLiteral("Velmora"), QString());
        notifier.requestAuthorization([&](bool) { called = true; });
    }
    test::waitUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_FALSE(called);
}

#include "dbus_notifier_test.moc"
