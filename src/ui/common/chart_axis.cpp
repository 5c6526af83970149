#include "ui/common/chart_axis.h"

#include "core/format.h"
#include "ui/common/chart_viewport.h"

#include <array>
#include <cmath>

namespace velmora::ChartAxis {

namespace {

// Up to one decimal, without a trailing ".0": "2.5", "5".
QString compact(double v) {
    const double tenths = std::round(v * 10) / 10;
    return Format::fixed(tenths, std::fmod(tenths, 1.0) == 0 ? 0 : 1);
}

}  // namespace

double niceTop(AxisUnit unit, double value, double floor) {
    if (unit != AxisUnit::bytesPerSecond) return niceCeiling(value, floor);
    if (!std::isfinite(value) || value <= 0) return floor;
    // The binary unit the value is written in, as the rate formatter picks it.
    double scale = 1;
    for (int u = 0; u < 4 && value >= scale * 1024; ++u)
        scale *= 1024;
    const double top = niceCeiling(value / scale) * scale;
    // 1000 to 1023 of a unit rounds to 2000, which the formatter writes in the next unit as
    // an uneven figure: one of the next unit instead.
    const double rounded = top >= scale * 1024 ? scale * 1024 : top;
    return std::max(rounded, floor);
}

QString topText(AxisUnit unit, double top) {
    switch (unit) {
        case AxisUnit::percent:
            return compact(top) + u'%';
        case AxisUnit::bytesPerSecond:
            return Format::bps(top);
        case AxisUnit::celsius:
            return Format::fixed(top, 0) + QStringLiteral("°C");
        case AxisUnit::none:
            break;
    }
    return compact(top);
}

double timeStep(double visibleSeconds, int maxIntervals) {
    static constexpr std::array<double, 20> steps{1,   2,   5,   10,   15,   30,   60,   120,   150,   300,
                                                  600, 900, 1200, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    if (!std::isfinite(visibleSeconds) || visibleSeconds <= 0) return steps.back();
    if (maxIntervals < 1) maxIntervals = 1;
    // An even division into two or more gaps puts a mark on both edges.
    for (double step : steps) {
        const double gaps = visibleSeconds / step;
        if (gaps >= 2 && gaps <= maxIntervals && std::abs(gaps - std::round(gaps)) < 1e-9) return step;
    }
    for (double step : steps)
        if (visibleSeconds / step <= maxIntervals) return step;
    return steps.back();
}

QString timeMarkText(double secondsAgo, double step, const TimeMarkTexts& texts) {
    const double s = std::abs(secondsAgo);
    if (!std::isfinite(s) || s < 0.5) return texts.now;
    step = std::abs(step);
    if (step >= 1800) return QString(texts.hoursAgo).replace(QStringLiteral("{0}"), compact(s / 3600));
    if (step >= 30) return QString(texts.minutesAgo).replace(QStringLiteral("{0}"), compact(s / 60));
    return QString(texts.secondsAgo).replace(QStringLiteral("{0}"), compact(s));
}

}  // namespace velmora::ChartAxis
