#include "ui/analysis/analysis_detail_text.h"

#include "core/format.h"
#include "core/localizer.h"
#include "platform/process.h"
#include "ui/common/one_line.h"

namespace velmora {

namespace {

constexpr int kConnectionsShown = 40;
constexpr int kFilesShown = 60;

QDateTime localTime(TimePoint t) {
    return QDateTime::fromMSecsSinceEpoch(
        std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count());
}

QString factsLine(const Localizer& loc, const DetailFacts& f, TimePoint now) {
    QStringList facts{QStringLiteral("PID %1").arg(f.pid)};
    if (f.ended) {
        facts << loc.t(QStringLiteral("adEnded"), ResourceAnalysis::agoText(f.endedAt, now, loc));
        // The uptime stopped when the process did.
        if (f.started && f.lastAlive) {
            const qint64 seconds = f.started->secsTo(localTime(*f.lastAlive));
            if (seconds >= 0) facts << loc.t(QStringLiteral("adUptime"), Format::duration(static_cast<double>(seconds)));
        }
    } else if (f.started) {
        const qint64 seconds = f.started->secsTo(localTime(now));
        if (seconds >= 0) facts << loc.t(QStringLiteral("adUptime"), Format::duration(static_cast<double>(seconds)));
    }
    if (f.description) facts << oneLine(*f.description);
    return facts.join(QStringLiteral("  ·  "));
}

QString chipsLine(const Localizer& loc, const DetailFacts& f) {
    const std::optional<ProcInfo>& live = f.live;
    QStringList chips;
    if (live) chips << QStringLiteral("CPU %1%").arg(Format::fixed(live->cpu, 0));
    if (live) chips << loc.t(QStringLiteral("dashMemory")) + u' ' + Format::bytes(live->memBytes);
    if (f.liveInfo) chips << loc.t(QStringLiteral("adThreads")) + u' ' + QString::number(f.liveInfo->threads);
    if (live) chips << loc.t(QStringLiteral("colDisk")) + u' ' + Format::bps(live->diskReadBps + live->diskWriteBps);
    return chips.join(QStringLiteral("   "));
}

DetailSectionText memorySection(const Localizer& loc, const DetailFacts& f) {
    DetailSectionText s{loc.t(QStringLiteral("adMemBreakdown")), {}};
    QStringList& lines = s.lines;
    if (f.ended) {
        lines << loc.t(QStringLiteral("pdGone"));
        return s;
    }
    const std::optional<MemoryFootprint>& mem = f.mem;
    if (mem && mem->totalBytes > 0) lines << loc.t(QStringLiteral("adFootprint"), Format::bytes(mem->totalBytes));
    if (f.memLoading) {
        lines << loc.t(QStringLiteral("adMemLoading"));
    } else if (!mem || mem->categories.empty()) {
        lines << loc.t(QStringLiteral("adMemFail"));
    } else {
        lines << loc.t(QStringLiteral("adCategory")) + QStringLiteral(" — Dirty / Clean / ") +
                     loc.t(QStringLiteral("adReclaimable"));
        for (const MemCategory& c : mem->categories)
            lines << QStringLiteral("%1 — %2 / %3 / %4")
                         .arg(oneLine(c.name), Format::bytes(c.dirty), Format::bytes(c.clean),
                              Format::bytes(c.reclaimable));
    }
    return s;
}

DetailSectionText networkSection(const Localizer& loc, const DetailFacts& f) {
    const std::vector<NetConnection>& conns = f.conns;
    if (f.ended) return {loc.t(QStringLiteral("adNetConns")), {loc.t(QStringLiteral("pdGone"))}};
    DetailSectionText s{loc.t(QStringLiteral("adNetConns")) + QStringLiteral("  ") +
                            loc.t(QStringLiteral("adCountN"), static_cast<qulonglong>(conns.size())),
                        {}};
    QStringList& lines = s.lines;
    if (f.connsLoading && conns.empty()) {
        lines << loc.t(QStringLiteral("adConnLoading"));
    } else if (conns.empty()) {
        lines << loc.t(QStringLiteral("adNoConns"));
    }
    for (size_t c = 0; c < conns.size() && c < kConnectionsShown; ++c) {
        const NetConnection& n = conns[c];
        QString line = n.proto + u' ' + n.localAddr + QStringLiteral(" → ") + n.host.value_or(n.remoteAddr);
        if (!n.state.isEmpty()) line += QStringLiteral("  ") + n.state;
        if (n.inBytes || n.outBytes)
            line += QStringLiteral("  ↓") + Format::bytes(n.inBytes.value_or(0)) + QStringLiteral(" ↑") +
                    Format::bytes(n.outBytes.value_or(0));
        lines << oneLine(line);
    }
    return s;
}

DetailSectionText filesSection(const Localizer& loc, const DetailFacts& f) {
    const std::optional<OpenFilesResult>& files = f.files;
    DetailSectionText s{loc.t(QStringLiteral("adOpenFiles")), {}};
    QStringList& lines = s.lines;
    if (f.ended) {
        lines << loc.t(QStringLiteral("pdGone"));
        return s;
    }
    if (files) s.title += QStringLiteral("  ") + loc.t(QStringLiteral("adCountN"), static_cast<qulonglong>(files->totalCount));
    if (f.filesLoading && !files) {
        lines << loc.t(QStringLiteral("adFilesLoading"));
    } else if (!files) {
        lines << loc.t(QStringLiteral("adFetchFail"));
    } else {
        if (files->permissionLimited) lines << loc.t(QStringLiteral("adFilesLimited"));
        QStringList names = files->connections + files->files;
        if (names.isEmpty()) lines << loc.t(QStringLiteral("adNoFiles"));
        for (int i = 0; i < names.size() && i < kFilesShown; ++i)
            lines << oneLine(names[i]);
        const qsizetype hidden = std::max<qsizetype>(files->totalCount, names.size()) - kFilesShown;
        if (hidden > 0) lines << loc.t(QStringLiteral("adMoreN"), static_cast<qlonglong>(hidden));
    }
    return s;
}

DetailSectionText cpuDiskSection(const Localizer& loc, const DetailFacts& f) {
    const std::optional<ProcInfo>& live = f.live;
    DetailSectionText s{loc.t(QStringLiteral("adCpuDisk")), {}};
    QStringList& lines = s.lines;
    if (live) {
        lines << loc.t(QStringLiteral("adCpuUsage")) + QStringLiteral(": ") + Format::fixed(live->cpu, 0) + u'%';
        lines << loc.t(QStringLiteral("adEnergy")) + QStringLiteral(": ") + Format::fixed(live->energyImpact, 0);
    }
    if (f.liveInfo) {
        const ProcessLiveInfo& i = *f.liveInfo;
        lines << loc.t(QStringLiteral("adThreads")) + QStringLiteral(": ") + QString::number(i.threads);
        lines << loc.t(QStringLiteral("adCpuTime")) + QStringLiteral(": ") + Format::duration(i.cpuSeconds);
        lines << loc.t(QStringLiteral("adResident")) + QStringLiteral(": ") + Format::bytes(i.resident);
        lines << loc.t(QStringLiteral("adVirtual")) + QStringLiteral(": ") + Format::bytes(i.virtualSize);
    }
    if (live) {
        lines << loc.t(QStringLiteral("adDiskRead")) + QStringLiteral(": ") + Format::bps(live->diskReadBps);
        lines << loc.t(QStringLiteral("adDiskWrite")) + QStringLiteral(": ") + Format::bps(live->diskWriteBps);
    }
    return s;
}

}  // namespace

std::array<DetailSection, 4> detailSectionOrder(AnalysisKind kind) {
    using S = DetailSection;
    switch (kind) {
        case AnalysisKind::memory:
            return {S::memory, S::cpudisk, S::network, S::files};
        case AnalysisKind::disk:
            return {S::cpudisk, S::files, S::network, S::memory};
        case AnalysisKind::network:
            return {S::network, S::files, S::cpudisk, S::memory};
        case AnalysisKind::cpu:
        case AnalysisKind::gpu:
            break;
    }
    return {S::cpudisk, S::memory, S::network, S::files};
}

DetailTexts analysisDetailTexts(const Localizer& loc, AnalysisKind kind, const DetailFacts& facts, TimePoint now) {
    DetailTexts t;
    t.name = oneLine(!facts.name.isEmpty() ? facts.name : platform::pidName(facts.pid));
    t.facts = factsLine(loc, facts, now);
    t.chips = chipsLine(loc, facts);
    const auto order = detailSectionOrder(kind);
    for (size_t i = 0; i < order.size(); ++i) {
        switch (order[i]) {
            case DetailSection::memory: t.sections[i] = memorySection(loc, facts); break;
            case DetailSection::network: t.sections[i] = networkSection(loc, facts); break;
            case DetailSection::files: t.sections[i] = filesSection(loc, facts); break;
            case DetailSection::cpudisk: t.sections[i] = cpuDiskSection(loc, facts); break;
        }
    }
    return t;
}

}  // namespace velmora
