// Decoding of the process-status and network-statistics command outputs.
#include "platform/process.h"
#include "samplers/net_proc_monitor.h"

#include <gtest/gtest.h>

using namespace velmora;
using platform::SystemProcHelper::parse;

TEST(SystemProcHelperParse, KeepsOnlyBusyRowsWithTheirResidentBytes) {
    const auto rows =
        parse(QStringLiteral("    1   0.0  14320 launchd\n"
                             "  312   0.1   2048 WindowServer\n"
                             "  400  0.05   1000 at-threshold\n"
                             "  401  12.5 204800 kernel_task\n"));
    ASSERT_EQ(rows.size(), 2u);
    const auto& ws = rows.at(312);
    EXPECT_EQ(ws.pid, 312);
    EXPECT_DOUBLE_EQ(ws.cpu, 0.1);
    EXPECT_EQ(ws.rss, 2097152u);
    EXPECT_EQ(ws.name, "WindowServer");
    EXPECT_EQ(rows.at(401).rss, 204800u * 1024u);
}

TEST(SystemProcHelperParse, NamesWithSpacesCollapseToSingleSpaces) {
    const auto rows = parse(QStringLiteral("  77   3.0   512 Google   Chrome  Helper\n"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.at(77).name, "Google Chrome Helper");
}

TEST(SystemProcHelperParse, MalformedLinesAreSkippedOneByOne) {
    const auto rows =
        parse(QStringLiteral("\n"
                             "  10   1.0   100\n"  // no name
                             "  x1   1.0   100 badpid\n"
                             "  11   one   100 badcpu\n"
                             "  12   nan   100 nancpu\n"
                             "  13   1.0   -5 negativerss\n"
                             "  14   1.0   99999999999999999999 hugerss\n"
                             "  15   1.0   18014398509481984 overflowing\n"
                             "  16   2.0   100 esc\x1b[2Jname\n"
                             "  20   1.0   100 first\n"
                             "  20   4.0   300 second\n"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.at(16).name, "esc?[2Jname") << "a terminal escape in a name is defused";
    EXPECT_EQ(rows.at(20).name, "second") << "a later line of the same pid replaces the earlier";
    EXPECT_EQ(rows.at(20).rss, 300u * 1024u);
}

TEST(DecodeUtf8, RejectsInvalidBytes) {
    EXPECT_EQ(platform::decodeUtf8(QByteArray("caf\xc3\xa9")), QStringLiteral("café"));
    EXPECT_FALSE(platform::decodeUtf8(QByteArray("caf\xe9 12")).has_value());
    EXPECT_FALSE(platform::decodeUtf8(QByteArray("\xc3")).has_value()) << "a truncated sequence";
    EXPECT_EQ(platform::decodeUtf8(QByteArray()), QString());
}

TEST(NetTopParse, DifferenceBetweenTheFirstAndLastSample) {
    const QString text = QStringLiteral(
        "time                  bytes_in   bytes_out\n"
        "Safari.412            1000       500\n"
        "steady.77             700        700\n"
        "late.90               0          0\n"
        "                       bytes_in   bytes_out\n"
        "Safari.412            4000       900\n"
        "steady.77             700        700\n"
        "new.91                5000       5000\n");
    const std::vector<ProcNet> list = NetProcMonitor::parse(text);
    ASSERT_EQ(list.size(), 1u) << "unchanged and second-sample-only processes are not listed";
    EXPECT_EQ(list[0], (ProcNet{412, "Safari", 3000, 400}));
}

TEST(NetTopParse, LabelsWithDotsAndSpacesAndBadLines) {
    const QString text = QStringLiteral(
        "bytes_in bytes_out\n"
        "com.apple.Web Content.233\t10\t10\n"
        "nodot 10 10\n"
        "name.notapid 10 10\n"
        "words.55 ten 10\n"
        "plus.56 +5 +5\n"
        "negative.57 -5 5\n"
        "x 1\n"
        "bytes_in bytes_out\n"
        "com.apple.Web Content.233 110 20\n"
        "nodot 99 99\n"
        "name.notapid 99 99\n"
        "plus.56 +10 5\n"
        "negative.57 10 10\n");
    const std::vector<ProcNet> list = NetProcMonitor::parse(text);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], (ProcNet{233, "com.apple.Web Content", 100, 10}));
    EXPECT_EQ(list[1], (ProcNet{56, "plus", 5, 0}));
}

TEST(NetTopParse, FallenCountersGiveZeroAndOrderIsByTotal) {
    const QString text = QStringLiteral(
        "bytes_in bytes_out\n"
        "small.1 0 0\n"
        "big.2 0 0\n"
        "restarted.3 9000 0\n"
        "bytes_in bytes_out\n"
        "bytes_in bytes_out\n"  // an empty sample does not count
        "small.1 5 5\n"
        "big.2 1000 2000\n"
        "restarted.3 10 7\n");
    const std::vector<ProcNet> list = NetProcMonitor::parse(text);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].pid, 2);
    EXPECT_EQ(list[1], (ProcNet{1, "small", 5, 5}));
    EXPECT_EQ(list[2], (ProcNet{3, "restarted", 0, 7}));
}

TEST(NetTopParse, OneSampleIsNotEnough) {
    EXPECT_TRUE(NetProcMonitor::parse(QStringLiteral("bytes_in bytes_out\nSafari.412 1000 500\n")).empty());
    EXPECT_TRUE(NetProcMonitor::parse(QString()).empty());
    EXPECT_TRUE(NetProcMonitor::parse(QStringLiteral("Safari.412 1000 500\nSafari.412 2000 500\n")).empty())
        << "without headers it is all one sample";
}

TEST(DecodeLinesLossy, AMalformedSequenceStaysInItsLine) {
    // Malformed bytes become replacement characters, as many as Qt's decoder gives for them
    // on their own.
    const QString bad(QChar::ReplacementCharacter);
    const QString cut = QString::fromUtf8("\xea\xb8");
    ASSERT_TRUE(cut.startsWith(bad));
    const struct {
        QByteArray bytes;
        QString text;
    } cases[] = {
        {"caf\xc3\xa9\nok\n", QStringLiteral("café\nok\n")},
        {"\xed\x95\x9c\xea\xb8\n12\n", QStringLiteral("한") + cut + "\n12\n"},  // cut inside a character
        {"\xea\xb8\n\xb8x", cut + "\n" + bad + "x"},  // a lone continuation byte opens the next line
        {"\xff", bad},
        {"no newline", QStringLiteral("no newline")},
        {"\n\n", QStringLiteral("\n\n")},
        {"", QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::decodeLinesLossy(c.bytes), c.text) << c.bytes.toHex().constData();
}

TEST(DecodeLinesLossy, ACutNameCostsNoOtherRow) {
    // The process-status command cuts accounting names bytewise.
    const QByteArray ps =
        "  88   1.5  2048 \xed\x95\x9c\xea\xb8\n"
        "  89   2.0   100 launchd\n";
    const auto rows = parse(platform::decodeLinesLossy(ps));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows.at(88).name, QString::fromUtf8("\xed\x95\x9c\xea\xb8"));
    EXPECT_EQ(rows.at(88).rss, 2048u * 1024u);
    EXPECT_EQ(rows.at(89).name, "launchd");

    const QByteArray nettop =
        "time  bytes_in  bytes_out\n"
        "\xed\x95\x9c\xea\xb8.412  1000  500\n"
        "Safari.413  10  10\n"
        "time  bytes_in  bytes_out\n"
        "\xed\x95\x9c\xea\xb8.412  4000  900\n"
        "Safari.413  30  10\n";
    const auto procs = platform::parseNetTop(platform::decodeLinesLossy(nettop));
    ASSERT_EQ(procs.size(), 2u);
    EXPECT_EQ(procs[0].pid, 412);
    EXPECT_EQ(procs[0].inBps, 3000);
    EXPECT_EQ(procs[1].pid, 413);
}

TEST(ToolEnvironment, TheUsersEnvironmentWithTheCLocale) {
    const QByteArray savedAll = qgetenv("LC_ALL");
    const QByteArray savedProbe = qgetenv("VELMORA_PROBE");
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("VELMORA_PROBE", "kept");
    const QProcessEnvironment env = platform::toolEnvironment();
    savedAll.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", savedAll);
    savedProbe.isNull() ? qunsetenv("VELMORA_PROBE") : qputenv("VELMORA_PROBE", savedProbe);
    EXPECT_EQ(env.value("LC_ALL"), "C") << "every category, whatever LANG and LC_* say";
    EXPECT_EQ(env.value("VELMORA_PROBE"), "kept");
}
