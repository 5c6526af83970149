#include "app/serve_mode.h"
#include "app/print_mode.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QUrlQuery>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

TEST(ServeContext, OneCoreKindPerCoreInWords) {
    const ExpositionContext context = exporterContext(7);
    EXPECT_EQ(context.processLimit, 7);
    EXPECT_FALSE(context.coreKinds.empty());
    for (const QString& kind : context.coreKinds)
        EXPECT_TRUE(kind == "performance" || kind == "efficiency" || kind == "other") << kind.toStdString();
    EXPECT_FALSE(context.version.isEmpty());
}

#ifdef VELMORA_BINARY
namespace {

QProcessEnvironment isolatedEnv(const QTemporaryDir& dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QDir().mkpath(dir.filePath("run"));
    QFile::setPermissions(dir.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("HOME", dir.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DBUS_SESSION_BUS_ADDRESS");
    // The messages checked below are the English ones.
    QDir().mkpath(dir.filePath("config/velmora"));
    QFile settings(dir.filePath("config/velmora/settings.json"));
    if (settings.open(QIODevice::WriteOnly)) settings.write(R"({"uiLanguage": "en"})");
    return env;
}

// A running `velmora --serve`, and the port it reports on standard error.
struct ServingVelmora {
    QProcess process;
    quint16 port = 0;
    QByteArray errors;

    bool start(const QTemporaryDir& dir, const QStringList& args) {
        process.setProcessEnvironment(isolatedEnv(dir));
        process.start(VELMORA_BINARY, args);
        if (!process.waitForStarted(10000)) return false;
        static const QRegularExpression where(QStringLiteral("http://127\\.0\\.0\\.1:(\\d+)/metrics"));
        return test::waitUntil(
                   [&] {
                       errors += process.readAllStandardError();
                       const auto m = where.match(QString::fromUtf8(errors));
                       if (m.hasMatch()) port = static_cast<quint16>(m.captured(1).toUInt());
                       return port != 0 || process.state() != QProcess::Running;
                   },
                   20s) &&
               port != 0;
    }
    ~ServingVelmora() {
        process.terminate();
        if (!process.waitForFinished(10000)) process.kill();
        process.waitForFinished(5000);
    }
};

QByteArray httpGet(QNetworkAccessManager& net, const QUrl& url, int* status = nullptr) {
    std::unique_ptr<QNetworkReply> reply(net.get(QNetworkRequest(url)));
    if (!test::waitUntil([&] { return reply->isFinished(); }, 10s)) return {};
    if (status) *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return reply->readAll();
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace

TEST(ServeProcess, BadAddressesAndBusyPortsExitWithTwo) {
    QTemporaryDir dir;
    QTcpServer busy;
    ASSERT_TRUE(busy.listen(QHostAddress::LocalHost, 0));
    const QString taken = QStringLiteral("127.0.0.1:%1").arg(busy.serverPort());
    const struct {
        QStringList args;
        QByteArray says;
    } cases[] = {
        {{"--serve", taken}, "already in use"},
        {{"--serve", taken, "--tray-only"}, "already in use"},
        {{"--serve", "bogus:port", "--tray"}, "bogus:port"},
        {{"--serve", taken, "--print", "--count", "1"}, "already in use"},
        {{"--serve", "999.1.1.1:9464"}, "999.1.1.1:9464"},
        {{"--serve", "70000"}, "70000"},
        {{"--serve", "[::1]:99999"}, "99999"},
        {{"--serve", "192.0.2.1:9464"}, "192.0.2.1:9464"},  // an address this machine does not have
    };
    for (const auto& c : cases) {
        QProcess p;
        p.setProcessEnvironment(isolatedEnv(dir));
        p.start(VELMORA_BINARY, c.args);
        ASSERT_TRUE(p.waitForFinished(20000)) << c.args.join(' ').toStdString();
        EXPECT_EQ(p.exitCode(), 2) << c.args.join(' ').toStdString();
        const QByteArray err = p.readAllStandardError();
        EXPECT_TRUE(err.contains(c.says)) << c.args.join(' ').toStdString() << ": " << err.toStdString();
        EXPECT_TRUE(p.readAllStandardOutput().isEmpty());
    }
}

TEST(ServeProcess, HeadlessServesScrapesOfTheEngineSnapshots) {
    QTemporaryDir dir;
    ServingVelmora velmora;
    ASSERT_TRUE(velmora.start(dir, {"--serve", "127.0.0.1:0", "--serve-processes", "3", "--interval", "0.2"}))
        << velmora.errors.toStdString();
    QNetworkAccessManager net;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/metrics").arg(velmora.port));
    QByteArray body;
    ASSERT_TRUE(test::waitUntil(
        [&] {
            body = httpGet(net, url);
            return body.contains("velmora_process_cpu_ratio{");
        },
        20s))
        << body.toStdString();
    EXPECT_TRUE(body.contains("\nvelmora_cpu_busy_ratio "));
    EXPECT_TRUE(body.contains("velmora_cpu_core_busy_ratio{core=\"0\",kind=\""));
    int processes = 0;
    for (const QByteArray& line : body.split('\n'))
        if (line.startsWith("velmora_process_cpu_ratio{")) ++processes;
    EXPECT_LE(processes, 3);
    EXPECT_TRUE(velmora.process.readAllStandardOutput().isEmpty()) << "serving alone prints nothing";
}

TEST(ServeProcess, PrometheusScrapesAndAnswersAQuery) {
    const QString prometheus = QStandardPaths::findExecutable(QStringLiteral("prometheus"));
    if (prometheus.isEmpty())
        GTEST_SKIP()
            << "the prometheus server is not installed (Debian package prometheus; make test installs it)";
    QTemporaryDir dir;
    ServingVelmora velmora;
    ASSERT_TRUE(velmora.start(dir, {"--serve", "127.0.0.1:0", "--interval", "0.5"}))
        << velmora.errors.toStdString();

    const quint16 promPort = freePort();
    QFile config(dir.filePath("prometheus.yml"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("global:\n"
                                "  scrape_interval: 1s\n"
                                "  scrape_timeout: 1s\n"
                                "scrape_configs:\n"
                                "  - job_name: velmora\n"
                                "    static_configs:\n"
                                "      - targets: ['127.0.0.1:%1']\n")
                     .arg(velmora.port)
                     .toUtf8());
    config.close();

    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus,
                 {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir.filePath("data"),
                  QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(promPort), "--log.level=warn"});
    ASSERT_TRUE(server.waitForStarted(10000));
    struct Stop {
        QProcess& p;
        ~Stop() {
            p.terminate();
            if (!p.waitForFinished(15000)) p.kill();
            p.waitForFinished(5000);
        }
    } stop{server};

    QNetworkAccessManager net;
    const auto query = [&](const QString& promql) {
        QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(promPort));
        url.setQuery(QUrlQuery{{"query", promql}});
        return QJsonDocument::fromJson(httpGet(net, url)).object();
    };
    // Two scrapes at least, both successful, then the CPU figure back through the query API.
    QJsonObject answer;
    const bool scraped = test::waitUntil(
        [&] {
            answer = query(QStringLiteral("sum_over_time(up{job=\"velmora\"}[1m])"));
            const QJsonArray result = answer["data"].toObject()["result"].toArray();
            return !result.isEmpty() && result[0].toObject()["value"].toArray()[1].toString().toDouble() >= 2;
        },
        90s);
    ASSERT_TRUE(scraped) << QJsonDocument(answer).toJson().toStdString() << server.readAll().toStdString();

    answer = query(QStringLiteral("velmora_cpu_busy_ratio"));
    const QJsonArray cpu = answer["data"].toObject()["result"].toArray();
    ASSERT_EQ(cpu.size(), 1) << QJsonDocument(answer).toJson().toStdString();
    const double ratio = cpu[0].toObject()["value"].toArray()[1].toString().toDouble();
    EXPECT_GE(ratio, 0.0);
    EXPECT_LE(ratio, 1.0);

    answer = query(QStringLiteral("count(velmora_cpu_core_busy_ratio) by (kind)"));
    EXPECT_FALSE(answer["data"].toObject()["result"].toArray().isEmpty())
        << QJsonDocument(answer).toJson().toStdString();
    answer = query(QStringLiteral("velmora_disk_read_bytes_total"));
    EXPECT_EQ(answer["data"].toObject()["result"].toArray().size(), 1)
        << "counters arrive under their sample name";
}
#endif
