#pragma once

#include "core/snapshot.h"
#include "inspect/process_types.h"

#include <QColor>
#include <QDateTime>
#include <QString>

#include <optional>
#include <vector>

namespace velmora {

class Localizer;

// The texts of the process detail view, from what is known of the process; free of widgets.
namespace ProcessDetailText {

// One figure of the live strip: its caption, its colour and its value ("-" when unknown).
struct Stat {
    QString caption;
    QColor color;
    QString value;
};

// The live strip, in the order shown: CPU, memory, threads, CPU time, disk read, disk write,
// energy. `live` is the feed's row for the process, `info` the system's own counters.
std::vector<Stat> stats(const Localizer& loc, const std::optional<ProcInfo>& live,
                        const std::optional<ProcessLiveInfo>& info);

// One fixed fact: its caption and its value on one line ("-" when unknown).
struct Fact {
    QString caption;
    QString value;
    bool mono = false;  // a command line, shown in a fixed-width font
};

// The fixed facts, in the order shown: command, user, parent, start time, uptime, status,
// architecture. `now` ends the uptime.
std::vector<Fact> facts(const Localizer& loc, const ProcessStaticInfo& info, const QDateTime& now);
// The captions alone, for the rows before any facts are known.
std::vector<Fact> factCaptions(const Localizer& loc);

// The open-files line: the counts of connections and files, or that the scan failed.
QString filesSummary(const Localizer& loc, const std::optional<OpenFilesResult>& result);

// The name the view goes by: the feed's latest, the facts', or "pid N".
QString name(const QString& lastName, const std::optional<ProcessStaticInfo>& info, int32_t pid);

}  // namespace ProcessDetailText

}  // namespace velmora
