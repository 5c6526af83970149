#pragma once

#include "history/history_record.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace velmora::history {

// A span with no record: Velmora was not running, remembering was off, or the machine slept.
struct Gap {
    Clock::time_point from;
    Clock::time_point to;
    bool operator==(const Gap&) const = default;
};

// The spans of [from, to) that no record covers, longer than `tolerance` (a record's own
// cadence leaves small seams between records that are not gaps). Records are in time order.
std::vector<Gap> gaps(const std::vector<Record>& records, Clock::time_point from, Clock::time_point to,
                      Millis tolerance);

// One process's worst moment for a metric over a run of records.
struct Culprit {
    ProcessEntry process;  // its values at that moment
    float peak = 0;
    Clock::time_point peakAt;
    int records = 0;  // in how many records it was among the heaviest
};

// The `limit` processes with the largest peak of `metric`, a process being its pid and start
// time. Ties go to the earlier peak, then the lower pid. Zero values never count.
std::vector<Culprit> culprits(const std::vector<Record>& records, Metric metric, int limit);

// "30m", "6h", "7d", "90s": a positive whole number and one unit. Anything else is refused.
std::optional<Millis> parseRange(const QString& text);
std::optional<Metric> parseMetric(const QString& text);
QString metricName(Metric metric);

// The stored record as one JSON object: the range, the gaps, and each record with its series
// and processes; or, with a metric, its culprits.
QJsonObject toJson(const std::vector<Record>& records, const std::vector<Gap>& gaps, Clock::time_point from,
                   Clock::time_point to);
QJsonObject culpritsToJson(const std::vector<Culprit>& culprits, Metric metric, Clock::time_point from,
                           Clock::time_point to);

}  // namespace velmora::history
