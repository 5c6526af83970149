// The analysis detail pane's texts from made-up facts, without widgets, and the pane
// wording them in the language of the localizer it was given.
#include "ui/analysis/analysis_detail.h"
#include "ui/analysis/analysis_detail_text.h"

#include "core/format.h"
#include "core/localizer.h"
#include "engine/metrics_engine.h"
#include "support/null_sources.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace velmora;
using namespace std::chrono_literals;

using velmora::test::NoSource;
using velmora::test::NoCollector;

namespace {

Localizer& english() {
    static Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                         [] { return QStringList(); }};
    return loc;
}

const TimePoint kNow = TimePoint(std::chrono::seconds(1'780'000'000));

QDateTime localTime(TimePoint t) {
    return QDateTime::fromMSecsSinceEpoch(std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}

QString t(const char* key) {
    return english().t(QString::fromLatin1(key));
}

DetailSectionText section(const DetailTexts& texts, AnalysisKind kind, DetailSection which) {
    const auto order = detailSectionOrder(kind);
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] == which) return texts.sections[i];
    return {};
}

NetConnection connection(int i) {
    NetConnection c;
    c.proto = QStringLiteral("TCP4");
    c.localAddr = QStringLiteral("10.0.0.2:%1").arg(5000 + i);
    c.remoteAddr = QStringLiteral("10.0.0.9:443");
    return c;
}

}  // namespace

TEST(AnalysisDetailText, NameFactsAndChipsOnOneLine) {
    struct Case {
        const char* what;
        DetailFacts facts;
        QString name;
        QString facts_line;
        QString chips;
    };
    DetailFacts live{.pid = 42, .name = QStringLiteral("two\nlines")};
    live.started = localTime(kNow - 90s);
    live.description = QStringLiteral("a tool\u2028that describes");
    live.live = ProcInfo{.pid = 42, .name = {}, .cpu = 12.4, .memBytes = 3u << 20, .diskReadBps = 1000, .diskWriteBps = 24};
    live.liveInfo = ProcessLiveInfo{.threads = 7};
    DetailFacts ended{.pid = 43, .ended = true, .lastAlive = kNow - 30s, .endedAt = kNow - 30s};
    ended.started = localTime(kNow - 100s);
    DetailFacts endedBeforeItStarted = ended;  // clocks disagree: no negative uptime
    endedBeforeItStarted.started = localTime(kNow - 29s);
    DetailFacts neverSeen{.pid = 44, .ended = true, .endedAt = kNow - 1s};
    neverSeen.started = localTime(kNow - 100s);
    DetailFacts startsLater{.pid = 45};
    startsLater.started = localTime(kNow + 5s);
    const Case cases[] = {
        {"running", live, QStringLiteral("two\uFFFDlines"),
         QStringLiteral("PID 42  ·  ") + english().t(QStringLiteral("adUptime"), Format::duration(90)) +
             QStringLiteral("  ·  a tool\uFFFDthat describes"),
         QStringLiteral("CPU 12%   ") + t("dashMemory") + u' ' + Format::bytes(3u << 20) + QStringLiteral("   ") +
             t("adThreads") + QStringLiteral(" 7   ") + t("colDisk") + u' ' + Format::bps(1024)},
        {"ended: when, and the uptime it had", ended, QStringLiteral("pid 43"),
         QStringLiteral("PID 43  ·  ") +
             english().t(QStringLiteral("adEnded"), english().t(QStringLiteral("agoSec"), 30)) + QStringLiteral("  ·  ") +
             english().t(QStringLiteral("adUptime"), Format::duration(70)),
         {}},
        {"ended before its start time", endedBeforeItStarted, QStringLiteral("pid 43"),
         QStringLiteral("PID 43  ·  ") + english().t(QStringLiteral("adEnded"), english().t(QStringLiteral("agoSec"), 30)),
         {}},
        {"ended, never seen running: no uptime", neverSeen, QStringLiteral("pid 44"),
         QStringLiteral("PID 44  ·  ") + english().t(QStringLiteral("adEnded"), t("agoNow")), {}},
        {"a start time ahead of the clock", startsLater, QStringLiteral("pid 45"), QStringLiteral("PID 45"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DetailTexts texts = analysisDetailTexts(english(), AnalysisKind::cpu, c.facts, kNow);
        EXPECT_EQ(texts.name, c.name);
        EXPECT_EQ(texts.facts, c.facts_line);
        EXPECT_EQ(texts.chips, c.chips);
    }
}

TEST(AnalysisDetailText, SectionsSayWhatIsLoadingMissingOrCut) {
    using S = DetailSection;
    struct Case {
        const char* what;
        DetailFacts facts;
        S section;
        QString title;
        QStringList lines;
    };
    DetailFacts memLoading{.pid = 1, .memLoading = true};
    memLoading.mem = MemoryFootprint{3u << 20, {}};
    DetailFacts mem{.pid = 1};
    mem.mem = MemoryFootprint{0, {{QStringLiteral("heap\nx"), 2u << 20, 1u << 20, 3u << 10, 0}}};
    DetailFacts connsLoading{.pid = 1, .connsLoading = true};
    DetailFacts manyConns{.pid = 1};
    for (int i = 0; i < 41; ++i)
        manyConns.conns.push_back(connection(i));
    manyConns.conns[0].state = QStringLiteral("ESTABLISHED");
    manyConns.conns[0].inBytes = 2048;
    QStringList connLines;
    connLines << QStringLiteral("TCP4 10.0.0.2:5000 → 10.0.0.9:443  ESTABLISHED  ↓") + Format::bytes(2048) +
                     QStringLiteral(" ↑") + Format::bytes(0);
    for (int i = 1; i < 40; ++i)
        connLines << QStringLiteral("TCP4 10.0.0.2:%1 → 10.0.0.9:443").arg(5000 + i);
    DetailFacts filesLoading{.pid = 1, .filesLoading = true};
    DetailFacts manyFiles{.pid = 1};
    manyFiles.files = OpenFilesResult{};
    manyFiles.files->totalCount = 100;
    manyFiles.files->permissionLimited = true;
    QStringList fileLines{t("adFilesLimited")};
    for (int i = 0; i < 61; ++i)
        manyFiles.files->files << QStringLiteral("/tmp/f%1").arg(i);
    for (int i = 0; i < 60; ++i)
        fileLines << QStringLiteral("/tmp/f%1").arg(i);
    fileLines << english().t(QStringLiteral("adMoreN"), 40);
    DetailFacts noFiles{.pid = 1};
    noFiles.files = OpenFilesResult{};
    const DetailFacts ended{.pid = 1, .ended = true};
    const QString count0 = QStringLiteral("  ") + english().t(QStringLiteral("adCountN"), 0);
    const Case cases[] = {
        {"memory loading", memLoading, S::memory, t("adMemBreakdown"),
         {english().t(QStringLiteral("adFootprint"), Format::bytes(3u << 20)), t("adMemLoading")}},
        {"memory unread", {.pid = 1}, S::memory, t("adMemBreakdown"), {t("adMemFail")}},
        {"memory categories, names on one line", mem, S::memory, t("adMemBreakdown"),
         {t("adCategory") + QStringLiteral(" — Dirty / Clean / ") + t("adReclaimable"),
          QStringLiteral("heap\uFFFDx — ") + Format::bytes(2u << 20) + QStringLiteral(" / ") + Format::bytes(1u << 20) +
              QStringLiteral(" / ") + Format::bytes(3u << 10)}},
        {"memory of an ended process", ended, S::memory, t("adMemBreakdown"), {t("pdGone")}},
        {"connections loading", connsLoading, S::network, t("adNetConns") + count0, {t("adConnLoading")}},
        {"no connections", {.pid = 1}, S::network, t("adNetConns") + count0, {t("adNoConns")}},
        {"the first 40 of 41 connections", manyConns, S::network,
         t("adNetConns") + QStringLiteral("  ") + english().t(QStringLiteral("adCountN"), 41), connLines},
        {"connections of an ended process: no count", ended, S::network, t("adNetConns"), {t("pdGone")}},
        {"files loading", filesLoading, S::files, t("adOpenFiles"), {t("adFilesLoading")}},
        {"files unread", {.pid = 1}, S::files, t("adOpenFiles"), {t("adFetchFail")}},
        {"no files", noFiles, S::files, t("adOpenFiles") + count0, {t("adNoFiles")}},
        {"the first 60 of 100 files", manyFiles, S::files,
         t("adOpenFiles") + QStringLiteral("  ") + english().t(QStringLiteral("adCountN"), 100), fileLines},
        {"files of an ended process", ended, S::files, t("adOpenFiles"), {t("pdGone")}},
        {"no figures yet", {.pid = 1}, S::cpudisk, t("adCpuDisk"), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (AnalysisKind kind : {AnalysisKind::cpu, AnalysisKind::memory, AnalysisKind::disk, AnalysisKind::network}) {
            const DetailSectionText s = section(analysisDetailTexts(english(), kind, c.facts, kNow), kind, c.section);
            EXPECT_EQ(s.title, c.title);
            EXPECT_EQ(s.lines, c.lines);
        }
    }
}

TEST(AnalysisDetailText, CpuAndDiskFiguresFromTheFeedAndTheInspector) {
    DetailFacts f{.pid = 1};
    f.live = ProcInfo{.pid = 1, .name = {}, .cpu = 55.5, .diskReadBps = 100, .diskWriteBps = 200, .energyImpact = 61.2};
    f.liveInfo = ProcessLiveInfo{.threads = 3, .resident = 1u << 20, .virtualSize = 1u << 30, .cpuSeconds = 65};
    const auto line = [](const char* key, const QString& value) { return t(key) + QStringLiteral(": ") + value; };
    EXPECT_EQ(section(analysisDetailTexts(english(), AnalysisKind::disk, f, kNow), AnalysisKind::disk,
                      DetailSection::cpudisk)
                  .lines,
              (QStringList{line("adCpuUsage", QStringLiteral("56%")), line("adEnergy", QStringLiteral("61")),
                           line("adThreads", QStringLiteral("3")), line("adCpuTime", Format::duration(65)),
                           line("adResident", Format::bytes(1u << 20)), line("adVirtual", Format::bytes(1u << 30)),
                           line("adDiskRead", Format::bps(100)), line("adDiskWrite", Format::bps(200))}));
    f.live.reset();
    EXPECT_EQ(section(analysisDetailTexts(english(), AnalysisKind::disk, f, kNow), AnalysisKind::disk,
                      DetailSection::cpudisk)
                  .lines.size(),
              4) << "the inspector's figures alone";
}


// The pane words everything through the localizer it was given, follows that one's language,
// and leaves the shared one alone.
TEST(AnalysisDetailPane, SpeaksTheLanguageOfItsOwnLocalizer) {
    const QString sharedLanguage = Localizer::shared().language();
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("ko"),
                  [] { return QStringList(); }};
    MetricsEngine engine{std::make_unique<NoSource>()};
    Snapshot s;
    s.time = WallClock::now();
    s.processes = {ProcInfo{.pid = 77, .name = QStringLiteral("worker"), .cpu = 5}};
    s.processesMeasured = true;
    engine.publish(std::move(s));
    AnalysisDetailPane::Services services;
    services.inspector = std::make_unique<ProcInspector>(std::make_unique<NoCollector>(),
                                                         std::make_unique<NoCollector>());
    services.describe = [](const QString&, QObject*, std::function<void(std::optional<QString>)>) {};
    AnalysisDetailPane pane(engine, loc, AnalysisKind::memory, std::move(services));
    pane.setPid(77);
    const auto title = [&] { return pane.sectionText(DetailSection::memory).section(u'\n', 0, 0); };
    EXPECT_EQ(title(), loc.t(QStringLiteral("adMemBreakdown")));
    EXPECT_NE(title(), english().t(QStringLiteral("adMemBreakdown"))) << "a Korean title";
    EXPECT_TRUE(pane.headerText().startsWith(QStringLiteral("worker\nPID 77")));
    loc.apply(QStringLiteral("en"));
    EXPECT_EQ(title(), english().t(QStringLiteral("adMemBreakdown")));
    EXPECT_EQ(Localizer::shared().language(), sharedLanguage);
}
