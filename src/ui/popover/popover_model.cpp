#include "ui/popover/popover_model.h"

#include "core/format.h"
#include "core/localizer.h"
#include "ui/common/one_line.h"
#include "ui/common/system_colors.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

// Readings that failed arrive as NaN or negative rates; they show as zero.
double finite(double v) {
    return std::isfinite(v) ? v : 0.0;
}
double rate(double v) {
    return std::isfinite(v) && v > 0 ? v : 0.0;
}

QString percent0(double v) {
    return Format::fixed(finite(v), 0) + u'%';
}

// Whole number by truncation, as text, without an integer conversion that could overflow.
QString whole(double v) {
    const double t = std::trunc(finite(v));
    return Format::fixed(t == 0 ? 0.0 : t, 0);
}

QString severityWord(Severity s, const Localizer& loc) {
    switch (s) {
        case Severity::normal:
            return loc.t("sevNormal");
        case Severity::elevated:
            return loc.t("sevElevated");
        case Severity::high:
            return loc.t("sevHigh");
        case Severity::critical:
            return loc.t("sevCritical");
    }
    return {};
}

QString thermalWord(ThermalState t, const Localizer& loc) {
    switch (t) {
        case ThermalState::nominal:
            return loc.t("thermNominal");
        case ThermalState::fair:
            return loc.t("thermFair");
        case ThermalState::serious:
            return loc.t("thermSerious");
        case ThermalState::critical:
            return loc.t("thermCritical");
    }
    return {};
}


QString arrows(double down, double up) {
    return QStringLiteral("↓") + Format::bps(down) + QStringLiteral("  ↑") + Format::bps(up);
}

}  // namespace

const ScaleTable& diskScale() {
    static const ScaleTable table = {
        {{10'000'000, "10MB"}, {100'000'000, "100MB"}, {1'000'000'000, "1GB"}, {5'000'000'000, "5GB"}}};
    return table;
}

const ScaleTable& networkScale() {
    static const ScaleTable table = {
        {{1'250'000, "10Mb"}, {12'500'000, "100Mb"}, {125'000'000, "1Gb"}, {1'250'000'000, "10Gb"}}};
    return table;
}

const ScaleStep& pickScale(double value, const ScaleTable& table) {
    for (const ScaleStep& step : table)
        if (step.limit >= value) return step;
    return table.back();
}

double scaleRatio(double value, const ScaleStep& step) {
    return std::min(100.0, rate(value) / step.limit * 100.0);
}

QColor processCpuColor(double cpu) {
    if (cpu >= 100) return SystemColor::red();
    if (cpu >= 50) return SystemColor::orange();
    if (cpu >= 35) return SystemColor::yellow();
    return SystemColor::green();
}

PopoverModel buildPopoverModel(const Snapshot& s, double heavyThreshold, const Localizer& loc) {
    PopoverModel m;
    m.severity = s.severity();
    m.header = loc.t("popHeader", severityWord(m.severity, loc));

    const double disk = rate(s.diskReadBps) + rate(s.diskWriteBps);
    const double net = rate(s.netInBps) + rate(s.netOutBps);
    const ScaleStep& diskStep = pickScale(disk, diskScale());
    const ScaleStep& netStep = pickScale(net, networkScale());
    m.gauges = {{
        {QStringLiteral("CPU"), finite(s.cpuTotal), percent0(s.cpuTotal), std::nullopt},
        {loc.t("dashMemory"), finite(s.memPercent),
         Format::bytes(s.memUsed) + QStringLiteral(" / ") + Format::bytes(s.memTotal), std::nullopt},
        {QStringLiteral("GPU"), finite(s.gpuPercent), percent0(s.gpuPercent), std::nullopt},
        {loc.t("popDiskIO"), scaleRatio(disk, diskStep), arrows(s.diskReadBps, s.diskWriteBps),
         QString::fromLatin1(diskStep.label)},
        {loc.t("dashNetwork"), scaleRatio(net, netStep), arrows(s.netInBps, s.netOutBps),
         QString::fromLatin1(netStep.label)},
    }};

    if (s.battery.present) {
        BatteryLine b;
        b.symbol = s.battery.charging ? QStringLiteral("battery.100.bolt") : QStringLiteral("battery.75");
        b.low = s.battery.percent < 20;
        b.text = whole(s.battery.percent) + u'%';
        m.battery = b;
    }
    double maxRpm = 0;
    for (const FanInfo& f : s.fans)
        maxRpm = std::max(maxRpm, finite(f.rpm));
    if (maxRpm >= 1) m.fanText = whole(maxRpm) + QStringLiteral(" RPM");

    m.thermalWarning = s.thermalState != ThermalState::nominal;
    m.thermalText = loc.t("popThermal", thermalWord(s.thermalState, loc));
    if (s.cpuTempC) m.cpuTempText = QStringLiteral("(CPU ") + Format::fixed(finite(*s.cpuTempC), 0) + "°C)";
    if (s.gpuTempC) m.gpuTempText = QStringLiteral("(GPU ") + Format::fixed(finite(*s.gpuTempC), 0) + "°C)";

    for (const ProcInfo& p : s.processes) {
        if (!(p.cpu >= heavyThreshold)) continue;
        m.heavy.push_back(
            {p.pid, oneLine(p.name), Format::bytes(p.memBytes), percent0(p.cpu), processCpuColor(p.cpu)});
        if (m.heavy.size() == kHeavyProcessLimit) break;
    }
    m.measuring = m.heavy.empty() && !s.processesMeasured;
    return m;
}

}  // namespace velmora
