// The process detail view's texts from made-up facts, without widgets.
#include "ui/detail/process_detail_text.h"

#include "core/format.h"
#include "core/localizer.h"
#include "ui/common/system_colors.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velmora;

namespace {

const Localizer& english() {
    static Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                         [] { return QStringList(); }};
    return loc;
}

QString t(const char* key) {
    return english().t(QString::fromLatin1(key));
}

const QDateTime kNow(QDate(2026, 3, 1), QTime(10, 0, 0));

ProcessStaticInfo info() {
    ProcessStaticInfo i;
    i.pid = 50;
    i.name = QStringLiteral("server");
    i.ppid = 1;
    i.uid = 1000;
    i.userName = QStringLiteral("ada");
    i.startDate = kNow.addSecs(-90);
    i.statusKey = QStringLiteral("psSleeping");
    i.command = QStringLiteral("/usr/bin/server --serve");
    i.archText = QStringLiteral("x86_64");
    return i;
}

}  // namespace

// One table gives each figure its caption, colour and value, in the order shown.
TEST(ProcessDetailText, LiveStripFromTheFeedAndTheSystemsCounters) {
    struct Case {
        const char* what;
        std::optional<ProcInfo> live;
        std::optional<ProcessLiveInfo> info;
        QStringList values;
    };
    const ProcInfo feed{.pid = 50, .name = {}, .cpu = 42.4, .memBytes = 3u << 20, .diskReadBps = 2048, .diskWriteBps = 10,
                        .energyImpact = 17.6};
    const ProcessLiveInfo counters{.threads = 12, .resident = 1u << 20, .cpuSeconds = 75};
    const ProcInfo odd{.pid = 50, .name = {}, .cpu = std::nan(""), .energyImpact = INFINITY};
    const QString d = QStringLiteral("-");
    const Case cases[] = {
        {"both", feed, counters,
         {"42%", Format::bytes(3u << 20), "12", Format::duration(75), Format::bps(2048), Format::bps(10), "18"}},
        {"the feed alone", feed, std::nullopt,
         {"42%", Format::bytes(3u << 20), d, d, Format::bps(2048), Format::bps(10), "18"}},
        {"the counters alone: memory is the resident size", std::nullopt, counters,
         {d, Format::bytes(1u << 20), "12", Format::duration(75), d, d, d}},
        {"nothing", std::nullopt, std::nullopt, {d, d, d, d, d, d, d}},
        {"figures that are no numbers", odd, std::nullopt, {"0%", Format::bytes(0), d, d, Format::bps(0), Format::bps(0), "0"}},
    };
    const QStringList captions = {"CPU", t("dashMemory"), t("adThreads"), t("pdCpuTime2"),
                                  t("adDiskRead"), t("adDiskWrite"), t("adEnergy")};
    const QColor purple = SystemColor::purple();
    const std::vector<QColor> colors = {SystemColor::blue(), SystemColor::green(), purple, purple,
                                        SystemColor::orange(), SystemColor::red(), purple};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<ProcessDetailText::Stat> stats = ProcessDetailText::stats(english(), c.live, c.info);
        ASSERT_EQ(stats.size(), 7u);
        for (size_t i = 0; i < stats.size(); ++i) {
            EXPECT_EQ(stats[i].caption, captions[static_cast<qsizetype>(i)]) << i;
            EXPECT_EQ(stats[i].color, colors[i]) << i;
            EXPECT_EQ(stats[i].value, c.values[static_cast<qsizetype>(i)]) << stats[i].caption.toStdString();
        }
    }
}

TEST(ProcessDetailText, FactsInOrderOnOneLineWithDashesForTheUnknown) {
    const auto values = [](const ProcessStaticInfo& i, const QDateTime& now = kNow) {
        QStringList out;
        for (const ProcessDetailText::Fact& f : ProcessDetailText::facts(english(), i, now))
            out << f.value;
        return out;
    };
    const QString d = QStringLiteral("-");
    EXPECT_EQ(values(info()), (QStringList{"/usr/bin/server --serve", "ada (uid 1000)", "1", "2026-03-01 09:58:30",
                                           Format::duration(90), t("psSleeping"), "x86_64"}));

    ProcessStaticInfo odd = info();
    odd.command = QStringLiteral("run\n--evil");
    odd.userName = QStringLiteral("a\u2029b");
    EXPECT_EQ(values(odd)[0], QStringLiteral("run\uFFFD--evil"));
    EXPECT_EQ(values(odd)[1], QStringLiteral("a\uFFFDb (uid 1000)"));

    ProcessStaticInfo unknown = info();
    unknown.command.clear();
    unknown.startDate.reset();
    unknown.statusKey.clear();
    unknown.archText.clear();
    EXPECT_EQ(values(unknown), (QStringList{d, "ada (uid 1000)", "1", d, d, d, d}));

    // The status: the key's text, else the text the system gave, "-" standing for none.
    ProcessStaticInfo status = info();
    status.statusKey = d;
    status.statusText = QStringLiteral("traced");
    EXPECT_EQ(values(status)[5], "traced");
    status.statusKey.clear();
    EXPECT_EQ(values(status)[5], "traced");
    status.statusText.clear();
    EXPECT_EQ(values(status)[5], d);

    // A start ahead of the clock has run for no time at all.
    EXPECT_EQ(values(info(), kNow.addSecs(-100))[4], Format::duration(0));
    EXPECT_EQ(values(info(), kNow.addSecs(-90))[4], Format::duration(0));
    EXPECT_EQ(values(info(), kNow.addSecs(-89))[4], Format::duration(1));

    QStringList captions;
    for (const ProcessDetailText::Fact& f : ProcessDetailText::factCaptions(english())) {
        captions << f.caption;
        EXPECT_EQ(f.mono, captions.size() == 1) << "only the command line is fixed-width";
    }
    EXPECT_EQ(captions, (QStringList{t("pdCommand"), t("pdUser"), t("pdParentPid"), t("pdStartTime"), t("pdUptime"),
                                     t("pdStatus"), t("pdArch")}));
}

TEST(ProcessDetailText, FilesSummaryAndName) {
    EXPECT_EQ(ProcessDetailText::filesSummary(english(), std::nullopt), t("pdLoadFail"));
    OpenFilesResult r;
    r.files = {"/a", "/b"};
    r.connections = {"127.0.0.1:80->127.0.0.1:5000"};
    const QString counts = english().t(QStringLiteral("pdFileSummary"), english().t(QStringLiteral("pdNetConnsN"), 1),
                                       english().t(QStringLiteral("pdOpenFilesN"), 2));
    EXPECT_EQ(ProcessDetailText::filesSummary(english(), r), counts);
    r.permissionLimited = true;
    EXPECT_EQ(ProcessDetailText::filesSummary(english(), r), counts + u'\n' + t("pdPermLimited"));

    EXPECT_EQ(ProcessDetailText::name("live", info(), 50), "live");
    EXPECT_EQ(ProcessDetailText::name({}, info(), 50), "server");
    ProcessStaticInfo nameless = info();
    nameless.name.clear();
    EXPECT_EQ(ProcessDetailText::name({}, nameless, 50), "pid 50");
    EXPECT_EQ(ProcessDetailText::name({}, std::nullopt, 50), "pid 50");
}
