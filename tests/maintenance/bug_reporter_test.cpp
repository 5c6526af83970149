#include "maintenance/bug_reporter.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace velmora;

namespace {

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A web service on 127.0.0.1 that answers every request the same way, and records each
// request with whether the report's file was already on disk when it arrived.
class FakeService : public QObject {
  public:
    enum class Answer { json, serverError, notJson, jsonArray, closeMidAnswer, never, redirectLoop, huge };

    FakeService(Answer answer, QString logDir) : answer_(answer), logDir_(std::move(logDir)) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/api/bugs").arg(server_.serverPort())); }

    struct Request {
        QByteArray head;
        QByteArray body;
        int filesOnArrival = 0;
    };
    std::vector<Request> requests;

  private:
    void onData(QTcpSocket* s) {
        QByteArray& buf = buffers_[s];
        buf += s->readAll();
        const qsizetype end = buf.indexOf("\r\n\r\n");
        if (end < 0) return;
        const QByteArray head = buf.left(end);
        qsizetype length = 0;
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("content-length:")) length = line.mid(15).trimmed().toLongLong();
        if (buf.size() < end + 4 + length) return;
        requests.push_back({head, buf.mid(end + 4, length),
                            static_cast<int>(QDir(logDir_).entryList({"report-*.log"}, QDir::Files).size())});
        buf.remove(0, end + 4 + length);
        respond(s);
    }

    void respond(QTcpSocket* s) {
        auto reply = [s](const QByteArray& status, const QByteArray& body, const QByteArray& extra = {}) {
            s->write("HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\n" + extra + "\r\n" + body);
        };
        switch (answer_) {
            case Answer::json: reply("201 Created", R"({"id":"r-1"})"); break;
            case Answer::serverError: reply("500 Internal Server Error", R"({"error":"down"})"); break;
            case Answer::notJson: reply("200 OK", "thanks!"); break;
            case Answer::jsonArray: reply("200 OK", "[1,2]"); break;
            case Answer::closeMidAnswer:
                s->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 100\r\n\r\n{\"id\":");
                s->flush();
                s->disconnectFromHost();
                break;
            case Answer::never: break;
            case Answer::huge:  // a valid object, but more than an acceptance needs
                reply("200 OK", "{\"pad\":\"" + QByteArray(2 << 20, 'x') + "\"}");
                break;
            case Answer::redirectLoop: reply("307 Temporary Redirect", "", "Location: " + url().toEncoded() + "\r\n"); break;
        }
    }

    Answer answer_;
    QString logDir_;
    QTcpServer server_;
    std::map<QTcpSocket*, QByteArray> buffers_;
};

constexpr int64_t kSecond = 1733480000;

struct Submitted {
    std::optional<BugReporter::Outcome> outcome;
};

BugReporter::Outcome submitAndWait(BugReporter& reporter, const QString& text) {
    Submitted s;
    QObject receiver;
    reporter.submit(text, &receiver, [&s](const BugReporter::Outcome& o) { s.outcome = o; });
    EXPECT_TRUE(test::waitUntil([&] { return s.outcome.has_value(); }, std::chrono::seconds(20)));
    return s.outcome.value_or(BugReporter::Outcome{});
}

BugReporter::Config config(const QString& dir, const QUrl& endpoint) {
    BugReporter::Config c;
    c.dir = dir;
    c.context = QStringLiteral("Pelto Monitor 0.1.0, Debian GNU/Linux 12 (bookworm), kernel 6.1.0, RAM 16GB, 8 cores");
    c.endpoint = endpoint;
    c.timeout = std::chrono::milliseconds(400);
    c.clock = [] { return kSecond; };
    return c;
}

}  // namespace

TEST(BugReporterText, ContextLineBodyAndRequest) {
    EXPECT_EQ(BugReporter::contextLine("1.0.0", "macOS Version 14.4", 17179869184ull, 10),
              "Pelto Monitor 1.0.0, macOS Version 14.4, RAM 16GB, 10 cores");
    EXPECT_EQ(BugReporter::contextLine("", "Linux", (1ull << 30) - 1, 1), "Pelto Monitor ?, Linux, RAM 0GB, 1 cores")
        << "gibibytes truncate; no version reads ?";
    EXPECT_EQ(BugReporter::reportBody("ctx", "  it hangs \n"), "ctx\n\n[사용자 설명]\n  it hangs \n");

    const QJsonObject request = QJsonDocument::fromJson(BugReporter::requestJson("b\"ody")).object();
    EXPECT_EQ(request.keys(), (QStringList{"body", "category", "severity", "title"}));
    EXPECT_EQ(request["category"].toString(), "bug");
    EXPECT_EQ(request["title"].toString(), "Velmora 문제 신고");
    EXPECT_EQ(request["body"].toString(), "b\"ody");
    EXPECT_EQ(request["severity"].toString(), "medium");

    const struct {
        int status;
        const char* body;
        bool accepted;
    } answers[] = {{200, "{}", true},   {201, R"({"id":"x"})", true}, {204, "", false},
                   {500, "{}", false},  {200, "[]", false},         {200, "ok", false},
                   {302, "{}", false},  {299, " {\"a\":1} ", true}, {0, "{}", false}};
    for (const auto& a : answers)
        EXPECT_EQ(BugReporter::accepted(a.status, a.body), a.accepted) << a.status << " " << a.body;
}

// Every length around the limit, and characters of each UTF-8 length straddling it: the
// body never exceeds the limit and never ends in part of a character.
TEST(BugReporterText, BodyIsCutToTheLimitAtACharacterBoundary) {
    const QString context = QStringLiteral("ctx");
    const QString head = BugReporter::reportBody(context, QString());
    const qsizetype room = BugReporter::kMaxBodyBytes - head.toUtf8().size();
    const QString a = QStringLiteral("a");
    const struct {
        const char* name;
        QString text;
        bool cut;
        QString kept;
    } cases[] = {
        {"one byte under", a.repeated(room - 1), false, a.repeated(room - 1)},
        {"exactly at", a.repeated(room), false, a.repeated(room)},
        {"one byte over", a.repeated(room + 1), true, a.repeated(room)},
        {"two-byte character that fits", a.repeated(room - 2) + u'é', false, a.repeated(room - 2) + u'é'},
        {"two-byte character across", a.repeated(room - 1) + u'é', true, a.repeated(room - 1)},
        {"three-byte character across", a.repeated(room - 1) + u'가', true, a.repeated(room - 1)},
        {"three-byte character across, one in", a.repeated(room - 2) + u'가', true, a.repeated(room - 2)},
        {"four-byte character across", a.repeated(room - 3) + QString::fromUtf8("😀"), true,
         a.repeated(room - 3)},
        {"far over", QString(200'000, u'가'), true, QString(room / 3, u'가')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool cut = !c.cut;
        const QString body = BugReporter::reportBody(context, c.text, &cut);
        EXPECT_EQ(cut, c.cut);
        EXPECT_LE(body.toUtf8().size(), BugReporter::kMaxBodyBytes);
        EXPECT_EQ(body, head + c.kept);
    }
}

TEST(BugReporterFiles, FolderAndFilesAreTheUsersAlone) {
    constexpr auto kEveryone = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                               QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                               QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    constexpr auto kFolder = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    constexpr auto kFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    QTemporaryDir dir;
    const QString fresh = dir.filePath("state/velmora/logs");
    const QString older = dir.filePath("older/logs");
    ASSERT_TRUE(QDir().mkpath(older));
    ASSERT_TRUE(QFile::setPermissions(older, kFolder | QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                                 QFileDevice::ReadOther | QFileDevice::ExeOther));
    const struct {
        const char* name;
        QString folder;
    } cases[] = {{"made now", fresh}, {"left open by an older version", older}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BugReporter reporter(config(c.folder, QUrl()));
        EXPECT_EQ(QFileInfo(c.folder).permissions() & kEveryone, kFolder);
        for (const QString& path : {reporter.saveReport("mine"), reporter.writeCrash("Exception: X")}) {
            ASSERT_FALSE(path.isEmpty());
            EXPECT_EQ(QFileInfo(path).permissions() & kEveryone, kFile) << path.toStdString();
        }
    }
    EXPECT_FALSE(BugReporter::makePrivateFolder(dir.filePath("older/logs/") + "report-1733480000.log/x"))
        << "not a folder";
}

TEST(BugReporterFiles, TwoReportsInOneSecondKeepTwoFiles) {
    QTemporaryDir dir;
    BugReporter reporter(config(dir.filePath("logs"), QUrl()));
    EXPECT_TRUE(QDir(dir.filePath("logs")).exists()) << "made with its parents";
    const QString first = reporter.saveReport("first");
    const QString second = reporter.saveReport("second");
    EXPECT_EQ(QFileInfo(first).fileName(), "report-1733480000.log");
    EXPECT_EQ(QFileInfo(second).fileName(), "report-1733480000-2.log");
    EXPECT_EQ(read(first), BugReporter::reportBody(reporter.systemContext(), "first").toUtf8());
    EXPECT_EQ(read(second), BugReporter::reportBody(reporter.systemContext(), "second").toUtf8());
    const QString crash = reporter.writeCrash("Exception: X\n\n\nframe");
    EXPECT_EQ(QFileInfo(crash).fileName(), "crash-1733480000.log");
    EXPECT_EQ(read(crash), (reporter.systemContext() + "\n\nException: X\n\n\nframe").toUtf8());
    EXPECT_EQ(QDir(dir.filePath("logs")).entryList(QDir::Files | QDir::Hidden).size(), 3) << "no temporaries left";
}

TEST(BugReporterFiles, OddTextIsKeptAndAnUnusableFolderLosesOnlyTheCopy) {
    QTemporaryDir dir;
    BugReporter reporter(config(dir.filePath("logs"), QUrl()));
    QString big(1 << 20, QChar(u'가'));
    big[5] = QChar(0xD800);  // a lone surrogate, as an editor may hand over
    const QString path = reporter.saveReport(big);
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(read(path), BugReporter::reportBody(reporter.systemContext(), big).toUtf8());

    test::writeFile(dir, "file", "not a folder");
    BugReporter blocked(config(dir.filePath("file"), QUrl()));
    EXPECT_TRUE(blocked.saveReport("x").isEmpty());
    EXPECT_TRUE(blocked.writeCrash("x").isEmpty());
    BugReporter nowhere(config(QString(), QUrl()));
    EXPECT_TRUE(nowhere.saveReport("x").isEmpty());
}

TEST(BugReporterSend, EachAnswerOfTheServiceAndTheCopyBeforeTheRequest) {
    using Answer = FakeService::Answer;
    const struct {
        Answer answer;
        bool sent;
        const char* name;
    } cases[] = {
        {Answer::json, true, "accepted"},       {Answer::serverError, false, "500"},
        {Answer::notJson, false, "not JSON"},   {Answer::jsonArray, false, "JSON, not an object"},
        {Answer::closeMidAnswer, false, "closed mid-answer"}, {Answer::never, false, "time-out"},
        {Answer::redirectLoop, false, "redirect loop"}, {Answer::huge, false, "answer over 1 MiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString logs = dir.filePath("logs");
        FakeService service(c.answer, logs);
        BugReporter reporter(config(logs, service.url()));
        const QString text = QStringLiteral(" 팬이 멈추지 않아요\n\"quoted\" ");
        const BugReporter::Outcome outcome = submitAndWait(reporter, text);
        EXPECT_EQ(outcome.sent, c.sent);
        EXPECT_EQ(QFileInfo(outcome.savedPath).fileName(), "report-1733480000.log");
        const QString body = BugReporter::reportBody(reporter.systemContext(), text);
        EXPECT_EQ(read(outcome.savedPath), body.toUtf8());
        ASSERT_FALSE(service.requests.empty());
        const FakeService::Request& r = service.requests.front();
        EXPECT_EQ(r.filesOnArrival, 1) << "the copy is on disk before the request arrives";
        EXPECT_TRUE(r.head.startsWith("POST /api/bugs HTTP/1.1\r\n")) << r.head.constData();
        EXPECT_TRUE(r.head.toLower().contains("\r\ncontent-type: application/json\r\n")) << r.head.constData();
        EXPECT_EQ(r.body, BugReporter::requestJson(body));
    }
}

TEST(BugReporterSend, AnOverlongReportIsCutAndTheCopyMatchesWhatWasSent) {
    QTemporaryDir dir;
    const QString logs = dir.filePath("logs");
    FakeService service(FakeService::Answer::json, logs);
    BugReporter reporter(config(logs, service.url()));
    const QString text = QString(100 * 1024, u'x');
    const BugReporter::Outcome outcome = submitAndWait(reporter, text);
    EXPECT_TRUE(outcome.sent);
    EXPECT_TRUE(outcome.cut);
    const QByteArray saved = read(outcome.savedPath);
    EXPECT_EQ(saved.size(), BugReporter::kMaxBodyBytes);
    ASSERT_EQ(service.requests.size(), 1u);
    EXPECT_EQ(QJsonDocument::fromJson(service.requests[0].body).object()["body"].toString().toUtf8(), saved);

    const BugReporter::Outcome small = submitAndWait(reporter, "short");
    EXPECT_FALSE(small.cut);
}

TEST(BugReporterSend, UnsavedReportIsStillSentAndAGoneReceiverHearsNothing) {
    QTemporaryDir dir;
    test::writeFile(dir, "file", "not a folder");
    FakeService service(FakeService::Answer::json, QString());
    BugReporter reporter(config(dir.filePath("file"), service.url()));
    const BugReporter::Outcome outcome = submitAndWait(reporter, "x");
    EXPECT_TRUE(outcome.sent);
    EXPECT_FALSE(outcome.saved());

    auto* network = reporter.findChild<QNetworkAccessManager*>();
    ASSERT_NE(network, nullptr);
    int finished = 0;
    QObject::connect(network, &QNetworkAccessManager::finished, [&finished] { ++finished; });
    bool called = false;
    auto* receiver = new QObject;
    reporter.submit("y", receiver, [&called](const BugReporter::Outcome&) { called = true; });
    delete receiver;
    ASSERT_TRUE(test::waitUntil([&] { return finished == 1; }));
    EXPECT_EQ(service.requests.size(), 2u);
    EXPECT_FALSE(called) << "the answer came after its window was gone";
}
