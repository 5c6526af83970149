#include "inspect/reverse_dns.h"

#include "support/test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <vector>

using namespace velmora;

TEST(ReverseDNS, LoopbackResolvesThroughTheSystem) {
    ReverseDNS dns;
    EXPECT_FALSE(dns.hostname("127.0.0.1").has_value()) << "never waits: the first ask only starts it";
    std::optional<QString> name;
    ASSERT_TRUE(test::waitUntil([&] { return (name = dns.hostname("127.0.0.1")).has_value(); }));
    EXPECT_TRUE(name->contains("localhost")) << name->toStdString();
    EXPECT_FALSE(ReverseDNS::systemResolve("not an address").has_value());
}

TEST(ReverseDNS, AnAddressWithoutANameIsAskedOnceForTheWholeRun) {
    std::mutex m;
    std::map<QString, int> lookups;
    auto count = [&](const QString& ip) {
        std::lock_guard lock(m);
        return lookups[ip];
    };
    // One worker: look-ups run in order, so once a later address was looked up, the answer
    // for an earlier one is stored.
    ReverseDNS dns(
        [&](const QString& ip) -> std::optional<QString> {
            std::lock_guard lock(m);
            ++lookups[ip];
            return std::nullopt;
        },
        1);
    EXPECT_FALSE(dns.hostname("192.0.2.1").has_value());
    dns.hostname("192.0.2.2");
    ASSERT_TRUE(test::waitUntil([&] { return count("192.0.2.2") == 1; }));
    for (int i = 0; i < 20; ++i)
        EXPECT_FALSE(dns.hostname("192.0.2.1").has_value());
    dns.hostname("192.0.2.3");
    ASSERT_TRUE(test::waitUntil([&] { return count("192.0.2.3") == 1; }));
    EXPECT_EQ(count("192.0.2.1"), 1) << "the failure is cached, never retried";
}

TEST(ReverseDNS, ConcurrentAsksShareOneLookupAndSlowOnesDoNotBlockOthers) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::atomic<int> slowLookups{0};
    ReverseDNS dns(
        [&](const QString& ip) -> std::optional<QString> {
            if (ip == "198.51.100.1") {
                ++slowLookups;
                std::unique_lock lock(m);
                cv.wait(lock, [&] { return release; });
                return QString("slow.example");
            }
            return "name-of-" + ip;
        },
        2);
    for (int i = 0; i < 10; ++i)
        EXPECT_FALSE(dns.hostname("198.51.100.1").has_value());
    dns.hostname("198.51.100.2");  // goes to the other worker
    ASSERT_TRUE(test::waitUntil([&] { return dns.hostname("198.51.100.2").has_value(); }))
        << "a slow look-up holds up only its own worker";
    EXPECT_EQ(dns.hostname("198.51.100.2"), QString("name-of-198.51.100.2"));
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(test::waitUntil([&] { return dns.hostname("198.51.100.1").has_value(); }));
    EXPECT_EQ(dns.hostname("198.51.100.1"), QString("slow.example"));
    EXPECT_EQ(slowLookups.load(), 1) << "in flight once, however often asked";
}

TEST(ReverseDNS, PendingLookupsAreBounded) {
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    std::vector<QString> asked;
    auto askedNow = [&] {
        std::lock_guard lock(m);
        return asked;
    };
    ReverseDNS dns(
        [&](const QString& ip) -> std::optional<QString> {
            std::unique_lock lock(m);
            asked.push_back(ip);
            cv.wait(lock, [&] { return release; });
            return std::nullopt;
        },
        1, 3);
    for (int i = 0; i < 10; ++i)
        dns.hostname(QStringLiteral("203.0.113.%1").arg(i));
    ASSERT_TRUE(test::waitUntil([&] { return askedNow().size() == 1; }));
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    ASSERT_TRUE(test::waitUntil([&] { return askedNow().size() == 3; }));
    dns.hostname("203.0.113.200");  // queued behind the others: once it runs, they all ran
    ASSERT_TRUE(test::waitUntil([&] { return askedNow().size() >= 4; }));
    EXPECT_EQ(askedNow(),
              (std::vector<QString>{"203.0.113.0", "203.0.113.1", "203.0.113.2", "203.0.113.200"}))
        << "asks beyond the bound were turned away, to be asked again later";
    dns.hostname("203.0.113.5");
    ASSERT_TRUE(test::waitUntil([&] { return askedNow().size() == 5; }))
        << "a turned-away address is tried later";
}
