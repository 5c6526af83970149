#pragma once

#include "core/attribution.h"
#include "core/snapshot.h"
#include "history/history_range.h"
#include "samplers/net_proc_monitor.h"

#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace velmora {

// The stretches of time a window's range picker offers. Live is the feed's own recent
// history; the others are read from the remembered record.
enum class HistorySpan { live, hour, sixHours, day, week };
inline constexpr HistorySpan kHistorySpans[] = {HistorySpan::live, HistorySpan::hour, HistorySpan::sixHours,
                                                HistorySpan::day, HistorySpan::week};
// How far back a span reaches from now; zero for live.
std::chrono::milliseconds spanLength(HistorySpan span);
// The picker's label key.
QString spanKey(HistorySpan span);

// Reads the remembered records that overlap [from, to) and answers on the GUI thread, or
// not at all once the record's keeper is gone. An empty reader: nothing is remembered.
using HistoryReader = std::function<void(TimePoint from, TimePoint to,
                                         std::function<void(std::vector<history::Record>)> done)>;

// A silence between records longer than this is a gap: a record's own seams are shorter.
inline constexpr std::chrono::milliseconds kStoredGapTolerance = std::chrono::seconds(65);

// Remembered records in the shape the views take the live history in, so the same ranking
// rules answer for both: a snapshot per record at its middle carrying the record's means, the
// attribution of those moments from the processes the record kept, and the gaps between.
struct StoredRange {
    TimePoint from{};
    TimePoint to{};
    std::vector<history::Record> records;
    std::vector<history::Gap> gaps;
    std::deque<Snapshot> history;
    AttributionLog attribution;
    // Per-process network use, one entry per record that measured any (in + out as one
    // figure, in `inBps`); a record without one did not measure it, which is not "no traffic".
    std::deque<NetProcMonitor::Entry> netHistory;

    // The gap that holds `t` (its start included, its end not); null where a record does.
    const history::Gap* gapAt(TimePoint t) const;
    std::vector<std::pair<TimePoint, TimePoint>> gapSpans() const;
    // One chart point per record at its middle, the record's peak or mean divided by
    // `divisor`, and a point without a value at each end of the range so a chart spans it
    // whole.
    std::vector<MetricPoint> points(history::Series series, bool peak, double divisor = 1) const;
};

// Stored values as the live rankings read them: CPU, memory, disk (read and write as one
// figure) and GPU per process, and network (in and out as one figure) where it was measured;
// a record whose processes were not measured adds no moment.
StoredRange buildStoredRange(std::vector<history::Record> records, TimePoint from, TimePoint to);

// Follows a window's chosen span: live needs nothing; another span is read once through the
// reader and shaped into a StoredRange. An answer for a span no longer chosen is dropped.
class RangeLoader : public QObject {
    Q_OBJECT
  public:
    using Now = std::function<TimePoint()>;
    explicit RangeLoader(HistoryReader reader, Now now = [] { return WallClock::now(); }, QObject* parent = nullptr);

    // Whether anything but live can be chosen.
    bool available() const { return static_cast<bool>(reader_); }
    HistorySpan span() const { return span_; }
    // Chooses a span and reads it (again, when it is the one shown: it ends now).
    void setSpan(HistorySpan span);
    // The range shown; null while live, and while the read of a new span is under way.
    const StoredRange* range() const { return range_ ? &*range_ : nullptr; }
    bool loading() const { return loading_; }
    // How many reads were asked for (tests).
    int reads() const { return reads_; }

  signals:
    // The span or its range changed.
    void changed();

  private:
    HistoryReader reader_;
    Now now_;
    HistorySpan span_ = HistorySpan::live;
    std::optional<StoredRange> range_;
    bool loading_ = false;
    int reads_ = 0;
    uint64_t generation_ = 0;
};

}  // namespace velmora
