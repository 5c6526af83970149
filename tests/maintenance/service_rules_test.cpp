// Sorting and protection of services, and the portable parsers of the macOS tool outputs.
#include "maintenance/apple_startup.h"
#include "maintenance/service_rules.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

QStringList labels(const std::vector<ServiceItem>& items) {
    QStringList out;
    for (const ServiceItem& i : items)
        out.push_back(i.label);
    return out;
}

}  // namespace

TEST(ServiceRules, RunningFirstThenByCodePoint) {
    std::vector<ServiceItem> items{
        {"b", std::nullopt}, {"a", 5}, {"Z", std::nullopt}, {"a", std::nullopt},
        {QString::fromUtf8("\xF0\x9F\x98\x80"), std::nullopt},  // beyond the basic plane
        {QString::fromUtf8("\xEF\xBC\xA1"), std::nullopt},      // U+FF21
        {"c", 1},
    };
    items[3].lastStatus = 7;
    sortServices(items);
    EXPECT_EQ(labels(items), QStringList({"a", "c", "Z", "a", "b", QString::fromUtf8("\xEF\xBC\xA1"),
                                          QString::fromUtf8("\xF0\x9F\x98\x80")}));
    EXPECT_EQ(items[3].lastStatus, 7);
}

TEST(ServiceRules, ProtectionInBothModes) {
    struct Case {
        QString label;
        bool system;
        bool safe, aggressive;
    };
    const Case cases[] = {
        {"pipewire.service", true, true, false},
        {"mine.service", false, false, false},
        {"velmora.service", false, true, true},
        {"x-com.tandrel.velmora-helper.service", false, true, true},
        {"com.tandrel.pelto.monitor.agent", false, true, true},
        {"Velmora.service", false, false, false},
    };
    for (const Case& c : cases) {
        ServiceItem item{c.label, std::nullopt, 0, c.system};
        EXPECT_EQ(isProtected(item, false), c.safe) << c.label.toStdString();
        EXPECT_EQ(isProtected(item, true), c.aggressive) << c.label.toStdString();
    }
}

TEST(LaunchctlList, ParsesAndSorts) {
    const auto items = parseLaunchctlList("PID\tStatus\tLabel\n-\t0\tcom.a\n123\t0\tcom.b\n-\t-9\tcom.c\n");
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0], (ServiceItem{"com.b", 123, 0, false}));
    EXPECT_EQ(items[1], (ServiceItem{"com.a", std::nullopt, 0, false}));
    EXPECT_EQ(items[2], (ServiceItem{"com.c", std::nullopt, -9, false}));
}

TEST(LaunchctlList, OddLines) {
    struct Case {
        const char* output;
        std::vector<ServiceItem> want;
    };
    const Case cases[] = {
        {"PID\tStatus\tLabel\n", {}},
        {"", {}},
        {"\n\n-\t0\tcom.x\n", {}},  // the only line left is taken as the header
        {"h\n12\t0\n", {}},
        {"h\nabc\t0\tcom.x\n", {{"com.x", std::nullopt, 0, false}}},
        {"h\n-\tnope\tcom.x\n", {{"com.x", std::nullopt, 0, false}}},
        {"h\n+5\t 1\tcom.x\n", {{"com.x", std::nullopt, 0, false}}},
        {"h\n7\t0\tcom.x\twith\ttabs\n", {{"com.x\twith\ttabs", 7, 0, false}}},
        {"h\n-\t0\tcom.apple.x\n", {{"com.apple.x", std::nullopt, 0, true}}},
        {"h\n-\t0\t\n", {{"", std::nullopt, 0, false}}},
        {"h\n99999999999\t0\tcom.x\n", {{"com.x", std::nullopt, 0, false}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseLaunchctlList(QString::fromUtf8(c.output)), c.want) << c.output;
}

TEST(OsaList, SplitsAtCommaSpace) {
    struct Case {
        const char* output;
        QStringList want;
    };
    const Case cases[] = {
        {"Mail, Dropbox\n", {"Mail", "Dropbox"}},
        {"\n  \n", {}},
        {"", {}},
        {"One", {"One"}},
        {"a,b, \tc\t, , d", {"a,b", "c", "d"}},
        {"Name, with comma, x", {"Name", "with comma", "x"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(splitOsaList(QString::fromUtf8(c.output)), c.want) << c.output;
}

TEST(OsaList, LoginItemsPairByPosition) {
    StartupScan s = loginItemsFrom({"A", "B", "C"}, {"/a", "/b"});
    ASSERT_EQ(s.items.size(), 3u);
    EXPECT_EQ(s.items[1].path, "/b");
    EXPECT_EQ(s.items[2].path, "");
    EXPECT_TRUE(s.items[2].isLoginItem());
    EXPECT_FALSE(s.needsPermission);
    EXPECT_TRUE(loginItemsFrom({}, {"/a"}).needsPermission);
    EXPECT_TRUE(loginItemsFrom({}, {"/a"}).items.empty());
}

TEST(OsaList, DeleteScriptEscapesQuotesAndBackslashes) {
    EXPECT_EQ(deleteLoginItemScript(R"(My "App" \ 2)"),
              R"(tell application "System Events" to delete login item "My \"App\" \\ 2")");
}

TEST(OsaList, LaunchAgentNames) {
    struct Case {
        const char* file;
        std::optional<QString> label;
        std::optional<QString> want;
    };
    const Case cases[] = {
        {"com.x.y.plist", "com.x.agent", "com.x.agent"},
        {"com.bad.plist", std::nullopt, "com.bad"},
        {"com.empty.plist", "", "com.empty"},
        {"readme.txt", "x", std::nullopt},
        {"SHOUT.PLIST", "x", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(launchAgentName(c.file, c.label), c.want) << c.file;
}
