#include "ui/detail/process_detail_text.h"

#include "core/format.h"
#include "core/localizer.h"
#include "platform/process.h"
#include "ui/common/one_line.h"
#include "ui/common/system_colors.h"

#include <algorithm>
#include <cmath>

namespace velmora::ProcessDetailText {

namespace {

QString dash() {
    return QStringLiteral("-");
}

QString percent(double v) {
    return QString::number(std::isfinite(v) ? v : 0.0, 'f', 0) + QLatin1Char('%');
}

// One row of the live strip: its caption (a key, or a fixed word where there is none), its
// colour and how its value is worded; null pointers stand for what is not known.
struct StatRow {
    const char* key;
    const char* fixed;
    QColor (*color)();
    QString (*value)(const ProcInfo* live, const ProcessLiveInfo* info);
};

const StatRow kStats[] = {
    {nullptr, "CPU", SystemColor::blue,
     [](const ProcInfo* p, const ProcessLiveInfo*) { return p ? percent(p->cpu) : dash(); }},
    {VL_KEY("dashMemory"), nullptr, SystemColor::green,
     [](const ProcInfo* p, const ProcessLiveInfo* i) {
         // The feed's footprint; without it the resident size the system reports.
         return p ? Format::bytes(p->memBytes) : i ? Format::bytes(i->resident) : dash();
     }},
    {VL_KEY("adThreads"), nullptr, SystemColor::purple,
     [](const ProcInfo*, const ProcessLiveInfo* i) { return i ? QString::number(i->threads) : dash(); }},
    {VL_KEY("pdCpuTime2"), nullptr, SystemColor::purple,
     [](const ProcInfo*, const ProcessLiveInfo* i) { return i ? Format::duration(i->cpuSeconds) : dash(); }},
    {VL_KEY("adDiskRead"), nullptr, SystemColor::orange,
     [](const ProcInfo* p, const ProcessLiveInfo*) { return p ? Format::bps(p->diskReadBps) : dash(); }},
    {VL_KEY("adDiskWrite"), nullptr, SystemColor::red,
     [](const ProcInfo* p, const ProcessLiveInfo*) { return p ? Format::bps(p->diskWriteBps) : dash(); }},
    {VL_KEY("adEnergy"), nullptr, SystemColor::purple,
     [](const ProcInfo* p, const ProcessLiveInfo*) {
         return p ? QString::number(std::isfinite(p->energyImpact) ? p->energyImpact : 0.0, 'f', 0) : dash();
     }},
};

// The fixed facts: a caption key and how the value is worded.
struct FactRow {
    const char* key;
    bool mono;
    QString (*value)(const Localizer& loc, const ProcessStaticInfo& i, const QDateTime& now);
};

const FactRow kFacts[] = {
    {VL_KEY("pdCommand"), true,
     [](const Localizer&, const ProcessStaticInfo& i, const QDateTime&) {
         return i.command.isEmpty() ? dash() : oneLine(i.command);
     }},
    {VL_KEY("pdUser"), false,
     [](const Localizer&, const ProcessStaticInfo& i, const QDateTime&) {
         return oneLine(i.userName) + QStringLiteral(" (uid ") + QString::number(i.uid) + QLatin1Char(')');
     }},
    {VL_KEY("pdParentPid"), false,
     [](const Localizer&, const ProcessStaticInfo& i, const QDateTime&) { return QString::number(i.ppid); }},
    {VL_KEY("pdStartTime"), false,
     [](const Localizer&, const ProcessStaticInfo& i, const QDateTime&) {
         return i.startDate ? i.startDate->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : dash();
     }},
    {VL_KEY("pdUptime"), false,
     [](const Localizer&, const ProcessStaticInfo& i, const QDateTime& now) {
         return i.startDate ? Format::duration(std::max<qint64>(0, i.startDate->secsTo(now))) : dash();
     }},
    {VL_KEY("pdStatus"), false,
     [](const Localizer& loc, const ProcessStaticInfo& i, const QDateTime&) {
         QString status = i.statusText;
         if (!i.statusKey.isEmpty() && i.statusKey != dash()) status = loc.t(i.statusKey);
         return status.isEmpty() ? dash() : status;
     }},
    {VL_KEY("pdArch"), false,
     [](const Localizer&, const ProcessStaticInfo& i, const QDateTime&) {
         return i.archText.isEmpty() ? dash() : i.archText;
     }},
};

}  // namespace

std::vector<Stat> stats(const Localizer& loc, const std::optional<ProcInfo>& live,
                        const std::optional<ProcessLiveInfo>& info) {
    std::vector<Stat> out;
    out.reserve(std::size(kStats));
    for (const StatRow& row : kStats)
        out.push_back({row.key ? loc.t(QString::fromLatin1(row.key)) : QString::fromLatin1(row.fixed), row.color(),
                       row.value(live ? &*live : nullptr, info ? &*info : nullptr)});
    return out;
}

std::vector<Fact> facts(const Localizer& loc, const ProcessStaticInfo& info, const QDateTime& now) {
    std::vector<Fact> out;
    out.reserve(std::size(kFacts));
    for (const FactRow& row : kFacts)
        out.push_back({loc.t(QString::fromLatin1(row.key)), row.value(loc, info, now), row.mono});
    return out;
}

std::vector<Fact> factCaptions(const Localizer& loc) {
    std::vector<Fact> out;
    out.reserve(std::size(kFacts));
    for (const FactRow& row : kFacts)
        out.push_back({loc.t(QString::fromLatin1(row.key)), {}, row.mono});
    return out;
}

QString filesSummary(const Localizer& loc, const std::optional<OpenFilesResult>& result) {
    if (!result) return loc.t(QStringLiteral("pdLoadFail"));
    const OpenFilesResult& r = *result;
    QString text = loc.t(QStringLiteral("pdFileSummary"),
                         loc.t(QStringLiteral("pdNetConnsN"), static_cast<int>(r.connections.size())),
                         loc.t(QStringLiteral("pdOpenFilesN"), static_cast<int>(r.files.size())));
    if (r.permissionLimited) text += QLatin1Char('\n') + loc.t(QStringLiteral("pdPermLimited"));
    return text;
}

QString name(const QString& lastName, const std::optional<ProcessStaticInfo>& info, int32_t pid) {
    if (!lastName.isEmpty()) return lastName;
    if (info && !info->name.isEmpty()) return info->name;
    return platform::pidName(pid);
}

}  // namespace velmora::ProcessDetailText
