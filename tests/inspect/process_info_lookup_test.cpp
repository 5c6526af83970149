#include "inspect/process_info_lookup.h"

#include "support/test_util.h"

#include <QHash>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

using namespace velmora;
using namespace std::chrono_literals;

namespace {

// A small HTTP/1.1 server on the loopback: answers each path with a fixed page.
class PageServer {
  public:
    struct Page {
        int status = 200;
        QByteArray body;
        bool silent = false;  // accept, then never answer
    };
    QHash<QString, Page> pages;
    QStringList paths;  // every request's path, in order
    QList<QByteArray> userAgents;

    PageServer() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
                    *buffer += s->readAll();
                    if (buffer->contains("\r\n\r\n")) answer(s, *buffer);
                });
            }
        });
    }
    QUrl site() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort())); }

  private:
    void answer(QTcpSocket* s, const QByteArray& request) {
        const QList<QByteArray> lines = request.split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        const QString path = QString::fromLatin1(first.value(1));
        paths << path;
        for (const QByteArray& line : lines)
            if (line.toLower().startsWith("user-agent:")) userAgents << line.mid(11).trimmed();
        const Page page = pages.value(path, Page{404, "<html>not here</html>"});
        if (page.silent) return;
        s->write("HTTP/1.1 " + QByteArray::number(page.status) +
                 " X\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\nContent-Length: " +
                 QByteArray::number(page.body.size()) + "\r\n\r\n");
        s->write(page.body);
        s->disconnectFromHost();
    }

    QTcpServer server_;
};

QByteArray pageWith(const QByteArray& meta) {
    return "<!doctype html><html><head><title>x</title>\n" + meta + "\n</head><body>text</body></html>";
}

struct Answer {
    bool arrived = false;
    std::optional<QString> text;
};

std::shared_ptr<Answer> ask(ProcessInfoLookup& lookup, const QString& name, QObject* receiver = nullptr) {
    auto answer = std::make_shared<Answer>();
    lookup.describe(name, receiver, [answer](std::optional<QString> text) {
        answer->arrived = true;
        answer->text = std::move(text);
    });
    return answer;
}

std::optional<QString> describe(ProcessInfoLookup& lookup, const QString& name) {
    auto answer = ask(lookup, name);
    EXPECT_TRUE(test::waitUntil([&] { return answer->arrived; }, 10s)) << name.toStdString();
    return answer->text;
}

}  // namespace

TEST(ProcessInfoLookup, DescriptionFromThePageWithEntitiesDecodedInOrder) {
    PageServer server;
    server.pages["/process/safari.html"] = {
        200,
        pageWith(
            "<meta property=\"og:x\" content=\"y\"><META NAME='Description' data-x=\"1\" "
            "CONTENT=\"  Safari is a web &amp;quot;browser&amp;quot; by &#39;Apple&#39; &amp; co.\n\">")};
    ProcessInfoLookup lookup(server.site());
    EXPECT_EQ(describe(lookup, "Safari.app"), QString("Safari is a web \"browser\" by 'Apple' & co."));
    EXPECT_EQ(describe(lookup, "safari"), QString("Safari is a web \"browser\" by 'Apple' & co."));
    EXPECT_EQ(server.paths, QStringList{"/process/safari.html"}) << "one entry for both names";
    ASSERT_EQ(server.userAgents.size(), 1);
    EXPECT_EQ(server.userAgents[0], ProcessInfoLookup::userAgent());

    describe(lookup, "Odd.app.app");
    EXPECT_EQ(server.paths.value(1), "/process/odd.app.html") << "only one \".app\" is dropped";
}

TEST(ProcessInfoLookup, FailuresAreCachedAndNeverRetried) {
    PageServer server;
    server.pages["/process/short.html"] = {200,
                                           pageWith("<meta name=\"description\" content=\"Too short.\">")};
    server.pages["/process/reversed.html"] = {
        200, pageWith("<meta content=\"A description long enough to count here\" name=\"description\">")};
    server.pages["/process/gone.html"] = {
        410, pageWith("<meta name=description content=\"Long enough text here.\">")};
    server.pages["/process/binary.html"] = {
        200, "<meta name=\"description\" content=\"Not UTF-8 at all \xff\xfe but long\">"};
    ProcessInfoLookup lookup(server.site());
    for (const char* name : {"missing", "short", "reversed", "gone", "binary"}) {
        EXPECT_FALSE(describe(lookup, name).has_value()) << name;
        EXPECT_FALSE(describe(lookup, name).has_value()) << name;
    }
    EXPECT_EQ(server.paths.size(), 5) << server.paths.join(" ").toStdString();
}

TEST(ProcessInfoLookup, NamesArePercentEncoded) {
    const QUrl site("https://descriptions.example");
    EXPECT_EQ(ProcessInfoLookup::pageUrl(site, "google chrome").toString(QUrl::FullyEncoded),
              "https://descriptions.example/process/google%20chrome.html");
    EXPECT_EQ(ProcessInfoLookup::pageUrl(site, "kworker/0:1").toString(QUrl::FullyEncoded),
              "https://descriptions.example/process/kworker%2F0:1.html")
        << "a slash cannot reach another path of the site";
    EXPECT_EQ(ProcessInfoLookup::pageUrl(site, "한글").toString(QUrl::FullyEncoded),
              "https://descriptions.example/process/%ED%95%9C%EA%B8%80.html");
    EXPECT_EQ(ProcessInfoLookup::pageUrl(site, "a\"b'c%").toString(QUrl::FullyEncoded),
              "https://descriptions.example/process/a%22b'c%25.html");

    PageServer server;
    server.pages["/process/google%20chrome.html"] = {
        200, pageWith("<meta name=\"description\" content=\"The browser from a search company.\">")};
    ProcessInfoLookup lookup(server.site());
    EXPECT_EQ(describe(lookup, "Google Chrome"), QString("The browser from a search company."));
}

TEST(ProcessInfoLookup, SilentServersAndHugePagesAreBounded) {
    PageServer server;
    server.pages["/process/slow.html"] = {200, {}, true};
    server.pages["/process/huge.html"] = {
        200, pageWith("<meta name=\"description\" content=\"A description in a page far too big.\">") +
                 QByteArray(10 << 20, ' ')};
    ProcessInfoLookup lookup(server.site(), 300ms);
    EXPECT_FALSE(describe(lookup, "slow").has_value()) << "given up at the time-out";
    ProcessInfoLookup bounded(server.site());
    EXPECT_FALSE(describe(bounded, "huge").has_value()) << "a 10 MB body is no description page";
}

TEST(ProcessInfoLookup, ConcurrentAsksShareOneDownloadAndGoneReceiversHearNothing) {
    PageServer server;
    server.pages["/process/make.html"] = {
        200, pageWith("<meta name=\"description\" content=\"A tool that builds programs.\">")};
    ProcessInfoLookup lookup(server.site());
    auto receiver = std::make_unique<QObject>();
    auto first = ask(lookup, "make");
    auto second = ask(lookup, "MAKE");
    auto dropped = ask(lookup, "make", receiver.get());
    receiver.reset();
    ASSERT_TRUE(test::waitUntil([&] { return first->arrived && second->arrived; }));
    EXPECT_EQ(first->text, QString("A tool that builds programs."));
    EXPECT_EQ(second->text, first->text);
    EXPECT_EQ(server.paths.size(), 1);

    auto cached = ask(lookup, "make");
    EXPECT_FALSE(cached->arrived) << "answers always come later, even from the cache";
    ASSERT_TRUE(test::waitUntil([&] { return cached->arrived; }));
    EXPECT_FALSE(dropped->arrived);
}

TEST(ProcessInfoLookup, MetaDescriptionPattern) {
    using P = ProcessInfoLookup;
    EXPECT_EQ(P::metaDescription("<meta name='description' content='Exactly twenty chars'>"),
              QString("Exactly twenty chars"));
    EXPECT_FALSE(P::metaDescription("<meta name='description' content='Nineteen characters'>"));
    EXPECT_FALSE(P::metaDescription("<meta name='description' content='                         '>"))
        << "white space only";
    EXPECT_FALSE(P::metaDescription("<meta name='keywords' content='a long enough list of words'>"));
    EXPECT_FALSE(P::metaDescription(""));
    EXPECT_EQ(P::metaDescription("<meta name=\"description\" content=\"first description text\">"
                                 "<meta name=\"description\" content=\"second description text\">"),
              QString("first description text"));
}

TEST(ProcessInfoLookup, TheUserAgentNamesTheSystemItRunsOn) {
    const QByteArray agent = ProcessInfoLookup::userAgent();
#if defined(Q_OS_MACOS)
    EXPECT_EQ(agent, "Mozilla/5.0 (Macintosh)");
#elif defined(Q_OS_LINUX)
    EXPECT_TRUE(agent.startsWith("Mozilla/5.0 (X11; Linux ")) << agent.constData();
    EXPECT_TRUE(agent.endsWith(')')) << agent.constData();
    EXPECT_FALSE(agent.contains("Macintosh"));
#endif
}
