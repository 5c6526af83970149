#pragma once

#include "core/snapshot.h"

#include <QColor>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace velmora {

class Localizer;

// A full-scale step of a throughput gauge.
struct ScaleStep {
    double limit = 0;  // bytes per second
    const char* label = "";
};

using ScaleTable = std::array<ScaleStep, 4>;
// Decimal bytes per second: 10MB … 5GB.
const ScaleTable& diskScale();
// Link speeds in bits per second: 10Mb … 10Gb.
const ScaleTable& networkScale();
// The first step whose limit holds `value`; the last one when none does.
const ScaleStep& pickScale(double value, const ScaleTable& table);
// Load against the picked step, 0–100.
double scaleRatio(double value, const ScaleStep& step);

// Colour of a heavy process's CPU share: ≥ 100 red, ≥ 50 orange, ≥ 35 yellow, else green.
QColor processCpuColor(double cpu);

struct GaugeSpec {
    QString label;
    double value = 0;
    QString detail;
    std::optional<QString> scaleHint;
};

struct BatteryLine {
    QString symbol;    // "battery.100.bolt" while charging, "battery.75" otherwise
    bool low = false;  // below 20 %: drawn red
    QString text;      // "87%"
};

struct HeavyLine {
    int32_t pid = 0;
    QString name;
    QString memory;
    QString cpuText;
    QColor cpuColor;
};

// Everything the popover shows for one snapshot, already formatted.
struct PopoverModel {
    Severity severity = Severity::normal;
    QString header;
    std::array<GaugeSpec, 5> gauges;
    std::optional<BatteryLine> battery;
    std::optional<QString> fanText;  // "2400 RPM" when a fan turns
    bool thermalWarning = false;     // thermal state other than nominal: orange symbol
    QString thermalText;
    std::optional<QString> cpuTempText;  // "(CPU 61°C)"
    std::optional<QString> gpuTempText;
    std::vector<HeavyLine> heavy;  // at most five, in the snapshot's order
    // Nothing heavy to list, but the process list has not been measured over an interval yet
    // (the view just opened): a neutral "measuring" line instead of "nothing is busy".
    bool measuring = false;
};

constexpr int kHeavyProcessLimit = 5;

PopoverModel buildPopoverModel(const Snapshot& s, double heavyThreshold, const Localizer& loc);

}  // namespace velmora
