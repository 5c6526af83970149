// Readers of the Apple inspection tools' output, fed with recorded texts.
#include "inspect/tool_parsers.h"
#include "inspect/run_tool.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>
#include <map>
#include <string>

using namespace velmora;

namespace {

constexpr uint64_t MB = 1048576;

const char* kFootprint =
    "======================================================================\n"
    "Safari [12345]: 64-bit    Footprint: 54 MB (16384 bytes per page)\n"
    "======================================================================\n"
    "\n"
    "  Dirty      Clean  Reclaimable    Regions    Category\n"
    "    ---        ---          ---        ---    ---\n"
    "  20 MB        0 B          0 B        120    MALLOC_SMALL\n"
    "  10 MB      15 MB          0 B         80    __TEXT\n"
    "   5 MB        0 B       1 MB           3    IOSurface\n"
    "  20 MB        0 B          0 B          4    IOKit\n"
    " 1.5 MB     100 KB          0 B         12    untagged \t (\"VM_ALLOCATE\")\n"
    "  12 kB        0 B          0 B          1    lower-case unit\n"
    "    ---        ---          ---        ---    ---\n";

}  // namespace

TEST(FootprintOutput, TotalAndCategoriesLargestDirtyFirst) {
    const auto fp = parseFootprintOutput(QString::fromUtf8(kFootprint));
    ASSERT_TRUE(fp.has_value());
    EXPECT_EQ(fp->totalBytes, 54 * MB) << "the figure after Footprint:, whatever follows it";
    std::vector<QString> names;
    for (const auto& c : fp->categories)
        names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<QString>{"MALLOC_SMALL", "IOKit", "__TEXT", "IOSurface",
                                           "untagged (\"VM_ALLOCATE\")"}))
        << "equal dirty keeps the tool's order; a unit in the wrong case is not a row";
    EXPECT_EQ(fp->categories[2], (MemCategory{"__TEXT", 10 * MB, 15 * MB, 0, 80}));
    EXPECT_EQ(fp->categories[3].reclaimable, 1 * MB);
    EXPECT_EQ(fp->categories[4].dirty, static_cast<uint64_t>(1.5 * MB));
    EXPECT_EQ(fp->categories[4].clean, 100u * 1024);
}

TEST(FootprintOutput, MissingTotalOrRowsAndGarbage) {
    const auto rowsOnly =
        parseFootprintOutput("  1 MB 0 B 0 B 2 heap\n  3 MB 0 B 0 B +1 stack  of  thread\n");
    ASSERT_TRUE(rowsOnly.has_value());
    EXPECT_EQ(rowsOnly->totalBytes, 0u);
    ASSERT_EQ(rowsOnly->categories.size(), 2u);
    EXPECT_EQ(rowsOnly->categories[0].name, "stack of thread");
    EXPECT_EQ(rowsOnly->categories[0].regions, 1);

    EXPECT_FALSE(parseFootprintOutput("").has_value());
    EXPECT_FALSE(
        parseFootprintOutput("footprint: cannot examine process 1\n\x01\x02 junk\n1 2 3\n").has_value());
    EXPECT_FALSE(parseFootprintOutput("1 MB 0 B 0 B x name with bad regions\n").has_value());

    const auto retried = parseFootprintOutput("Footprint: lots\nFootprint: 2 GB\n");
    ASSERT_TRUE(retried.has_value()) << "Footprint: is looked for again while the total is 0";
    EXPECT_EQ(retried->totalBytes, 2048 * MB);

    const auto once = parseFootprintOutput("Footprint: 1 MB\nX Footprint: 9 MB\n");
    ASSERT_TRUE(once.has_value());
    EXPECT_EQ(once->totalBytes, 1 * MB) << "later Footprint: lines are ordinary lines";
}

TEST(ParseSize, UnitsAndRejects) {
    EXPECT_EQ(parseSize("1.5", "KB"), 1536u);
    EXPECT_EQ(parseSize("7", "B"), 7u);
    EXPECT_EQ(parseSize("2", "TB"), 2199023255552u);
    EXPECT_EQ(parseSize("0.5", "B"), 1u) << "rounded half away from zero";
    EXPECT_EQ(parseSize("1e3", "B"), 1000u);
    EXPECT_EQ(parseSize("+3", "MB"), 3 * MB);
    EXPECT_FALSE(parseSize("12", "kB")) << "units are case-sensitive";
    EXPECT_FALSE(parseSize("12", "KiB"));
    EXPECT_FALSE(parseSize("-1", "MB"));
    EXPECT_FALSE(parseSize(" 1", "MB")) << "leading white space";
    EXPECT_FALSE(parseSize(QString(QChar(0)) + "1", "MB")) << "leading NUL";
    EXPECT_FALSE(parseSize("1 ", "MB")) << "trailing text";
    EXPECT_FALSE(parseSize("1,5", "KB"));
    EXPECT_FALSE(parseSize("", "B"));
    EXPECT_FALSE(parseSize("nan", "B"));
    EXPECT_FALSE(parseSize("inf", "GB"));
    EXPECT_FALSE(parseSize("20000000", "TB")) << "past 64 bits";
}

TEST(ParseSize, NumberFormsAcceptedExactlyAsDecimalText) {
    const struct {
        const char* number;
        std::optional<uint64_t> bytes;
    } cases[] = {
        // Decimal forms; a value below the normal range is still a number.
        {"1.", 1},
        {".5", 1},
        {"1E3", 1000},
        {"-0", 0},
        {"1e-310", 0},
        // Too small to be anything but zero, or too large.
        {"1e-400", {}},
        {"1e309", {}},
        // No hexadecimal forms, no second sign, no white space.
        {"0x10", {}},
        {"0X1p3", {}},
        {"++1", {}},
        {"+-1", {}},
        {"-+1", {}},
        {"+ 1", {}},
        {"\t1", {}},
        // Incomplete numbers and words.
        {"1e", {}},
        {"1e+", {}},
        {".", {}},
        {"-", {}},
        {"+", {}},
        {"nan(1)", {}},
        {"infinity", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseSize(QString::fromLatin1(c.number), "B"), c.bytes) << c.number;
    EXPECT_FALSE(parseSize(QStringLiteral("1") + QChar(0), "B")) << "an embedded NUL is trailing text";
}

TEST(ParseSize, IgnoresTheProcessLocale) {
    const QLocale savedQt;
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string savedC = old ? old : "C";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) std::setlocale(LC_ALL, "fr_FR.UTF-8");
    const auto point = parseSize("1.5", "KB");
    const auto comma = parseSize("1,5", "KB");
    QLocale::setDefault(savedQt);
    std::setlocale(LC_ALL, savedC.c_str());
    EXPECT_EQ(point, 1536u);
    EXPECT_FALSE(comma);
}

TEST(LsofFieldOutput, SortsNamesByTypeAndNotesPermissionTrouble) {
    const QString out =
        "p123\nf0\ntCHR\nn/dev/null\nf3\ntREG\nn/Users/me/file with space.txt\nf4\ntIPv4\n"
        "n127.0.0.1:5000->127.0.0.1:6000\nf5\ntDIR\nn/Users/me\nf6\ntunix\nn->0x1234\nf7\ntIPv6\nn[::1]:631\n"
        "f8\ntKQUEUE\nncount=0, state=0x8\nf9\ntREG\nn/tmp/a\nf10\nn/tmp/b\n\n";
    const auto r = parseLsofFieldOutput(out, QString("lsof: WARNING: can't stat() vfs: PERMISSION denied\n"));
    EXPECT_EQ(r.files, (QStringList{"/Users/me/file with space.txt", "/Users/me", "/tmp/a", "/tmp/b"}))
        << "the type carries over to a file that names none";
    EXPECT_EQ(r.connections, (QStringList{"127.0.0.1:5000->127.0.0.1:6000", "[::1]:631"}));
    EXPECT_EQ(r.totalCount, 6);
    EXPECT_TRUE(r.permissionLimited) << "any letter case";

    EXPECT_FALSE(parseLsofFieldOutput(out, QString("lsof: no such process\n")).permissionLimited);
    EXPECT_FALSE(parseLsofFieldOutput(out, std::nullopt).permissionLimited);
    const auto none = parseLsofFieldOutput("", std::nullopt);
    EXPECT_EQ(none.totalCount, 0);
    EXPECT_TRUE(none.files.isEmpty());
}

TEST(LsofFieldOutput, HugeListsAreCountedButCapped) {
    QString out = "tREG\n";
    for (int i = 0; i < 10000; ++i)
        out += QStringLiteral("n/data/file-%1\n").arg(i);
    out += "tIPv4\nn*:80\n";
    const auto r = parseLsofFieldOutput(out, std::nullopt);
    EXPECT_EQ(r.totalCount, 10001);
    EXPECT_EQ(r.files.size(), kOpenFileNamesKept);
    EXPECT_EQ(r.files.front(), "/data/file-0");
    EXPECT_EQ(r.connections, QStringList{"*:80"});
}

TEST(NettopOutput, BytesByLocalPort) {
    const QString out =
        "                                        bytes_in       bytes_out\n"
        "Safari.123                                  5000            3000\n"
        "   tcp4 10.0.0.2:50000<->17.253.144.10:443   4000   2000\n"
        "   tcp6 2001:db8::2.50001<->2001:db8::1.443\t100\t50\n"
        "   udp4 *:*<->*:*   9 9\n"
        "   tcp4 10.0.0.2:50002<->1.1.1.1:443   12 x\n"
        "   tcp4 10.0.0.2:50003<->1.1.1.1:443\n"
        "   tcp4 10.0.0.2:50000<->17.253.144.10:443   4500   2500\n";
    const auto map = parseNettopOutput(out);
    ASSERT_EQ(map.size(), 2) << map.keys().join(",").toStdString();
    EXPECT_EQ(map["50000"].in, 4500u) << "the later line of a port wins";
    EXPECT_EQ(map["50000"].out, 2500u);
    EXPECT_EQ(map["50001"].in, 100u) << "IPv6 ports follow a dot";
    EXPECT_EQ(map["50001"].out, 50u);
    EXPECT_TRUE(parseNettopOutput("").isEmpty());
}

TEST(LsofConnections, ColumnsTrafficHostsAndOrder) {
    const QString out =
        "COMMAND PID USER   FD   TYPE             DEVICE SIZE/OFF NODE NAME\n"
        "Safari  123  me   30u  IPv4 0x1234567890abcdef      0t0  TCP 10.0.0.2:50000->17.253.144.10:443 "
        "(ESTABLISHED)\n"
        "Safari  123  me   31u  IPv6 0x1234567890abcdf0      0t0  TCP [2001:db8::2]:50001->[2001:db8::1]:443 "
        "(CLOSE_WAIT)\n"
        "Safari  123  me   32u  IPv4 0x1234567890abcdf1      0t0  TCP *:8080 (LISTEN)\n"
        "Safari  123  me   33u  IPv4 0x1234567890abcdf2      0t0  UDP *:5353\n"
        "Safari  123  me   34u  IPv4 0x1234567890abcdf3      0t0  UDP 10.0.0.2:60000->8.8.8.8:53\n"
        "Safari  123  me   35u  IPv4 0x1234567890abcdf4      0t0  TCP 10.0.0.2:50002->1.1.1.1:443 "
        "(ESTABLISHED)\n"
        "garbage without protocol\n"
        "Safari  123  me   36u  IPv4 0x1 0t0 TCP\n";
    QHash<QString, PortTraffic> traffic{{"50000", {4000, 3000}}, {"50001", {100, 50}}};
    std::map<QString, int> asked;
    const auto list = parseLsofConnections(out, traffic, [&](const QString& ip) -> std::optional<QString> {
        ++asked[ip];
        if (ip == "17.253.144.10") return QString("apple.example");
        return std::nullopt;
    });
    ASSERT_EQ(list.size(), 6u);
    EXPECT_EQ(list[0].localAddr, "10.0.0.2:50000") << "most traffic first";
    EXPECT_EQ(list[0].proto, "TCP4");
    EXPECT_EQ(list[0].state, "ESTABLISHED");
    EXPECT_EQ(list[0].host, QString("apple.example"));
    EXPECT_EQ(list[0].inBytes, 4000u);
    EXPECT_EQ(list[0].outBytes, 3000u);
    EXPECT_EQ(list[1].proto, "TCP6");
    EXPECT_EQ(list[1].remoteIP(), QString("2001:db8::1"));
    EXPECT_EQ(list[1].state, "CLOSE_WAIT");
    EXPECT_EQ(list[2].localAddr, "10.0.0.2:50002") << "at equal traffic, established first";
    EXPECT_FALSE(list[2].inBytes.has_value()) << "a port without traffic has none";
    EXPECT_EQ(list[3].localAddr, "*:8080");
    EXPECT_EQ(list[3].remoteAddr, "*:*");
    EXPECT_EQ(list[3].state, "LISTEN");
    EXPECT_FALSE(list[3].remoteIP().has_value());
    EXPECT_FALSE(list[3].host.has_value());
    EXPECT_EQ(list[4].proto, "UDP4");
    EXPECT_EQ(list[4].state, "");
    EXPECT_EQ(list[5].remoteAddr, "8.8.8.8:53");
    EXPECT_EQ(asked.size(), 4u) << "every remote address is asked for, once per line";
    EXPECT_NE(list[0].id, list[1].id);
    EXPECT_TRUE(parseLsofConnections("", {}, {}).empty());
}

TEST(NetConnection, RemoteAddressWithoutPortOrBrackets) {
    auto ip = [](const char* remote) {
        NetConnection c;
        c.remoteAddr = remote;
        return c.remoteIP();
    };
    EXPECT_EQ(ip("[2001:db8::1]:443"), QString("2001:db8::1"));
    EXPECT_EQ(ip("[::1"), QString("::1"));
    EXPECT_EQ(ip("1.2.3.4:80"), QString("1.2.3.4"));
    EXPECT_EQ(ip("hostname"), QString("hostname"));
    EXPECT_FALSE(ip("*:*"));
    EXPECT_FALSE(ip(":80"));
    EXPECT_FALSE(ip(""));
}

TEST(LastComponent, DigitsAfterTheLastSeparator) {
    EXPECT_EQ(lastComponent("1.2.3.4:80", u':'), QString("80"));
    EXPECT_EQ(lastComponent("fe80::1.443", u'.'), QString("443"));
    EXPECT_FALSE(lastComponent("a:", u':'));
    EXPECT_FALSE(lastComponent("80", u':'));
    EXPECT_FALSE(lastComponent("a:8x", u':'));
    EXPECT_FALSE(lastComponent("*:*", u':'));
}
