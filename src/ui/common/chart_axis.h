#pragma once

#include <QString>

#include <vector>

namespace velmora {

// What a chart's values measure, so its vertical axis can name its top.
enum class AxisUnit { none, percent, bytesPerSecond, celsius };

namespace ChartAxis {

// The automatic top for `value` in `unit`: byte rates round up to 1, 2 or 5 times a power of
// ten of a binary unit (B, KB, MB ...), so the axis label reads as a round figure; other units
// round as niceCeiling does. `floor` for no data, zero or anything not finite.
double niceTop(AxisUnit unit, double value, double floor);

// The axis label of a top value: "100%", "2.0 MB/s", "100°C", "50".
QString topText(AxisUnit unit, double top);

// The texts the time marks are built from, in the interface language: "now", and templates
// for seconds, minutes and hours before it ("−{0} s").
struct TimeMarkTexts {
    QString now;
    QString secondsAgo;
    QString minutesAgo;
    QString hoursAgo;
    bool operator==(const TimeMarkTexts&) const = default;
};

// The spacing of the time marks for a span of `visibleSeconds` with room for at most
// `maxIntervals` gaps between marks (at least 1): a round step that divides the span evenly
// when one does (so the left edge gets a mark), else the smallest round step that fits.
double timeStep(double visibleSeconds, int maxIntervals);

// The mark `secondsAgo` before the newest data: "now" at 0, else "−30 s", "−2.5 min", "−1 h".
// The unit follows the marks' `step`, so all marks of a chart share it and stay apart however
// far back they are: seconds below half a minute, minutes below half an hour, else hours.
QString timeMarkText(double secondsAgo, double step, const TimeMarkTexts& texts);

}  // namespace ChartAxis

}  // namespace velmora
