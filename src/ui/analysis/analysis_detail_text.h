#pragma once

#include "core/snapshot.h"
#include "inspect/process_types.h"
#include "ui/analysis/analysis_model.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

namespace velmora {

class Localizer;

// The analysis detail pane's sections, each shown as a title line and its lines.
enum class DetailSection { memory, network, files, cpudisk };

// The sections in the order the pane shows them: the analysed metric's first.
std::array<DetailSection, 4> detailSectionOrder(AnalysisKind kind);

// What the pane knows of its process at one moment.
struct DetailFacts {
    int32_t pid = 0;
    QString name = {};  // empty: "pid N"
    // Gone: the pane shows what it last knew, and nothing can be sent to it.
    bool ended = false;
    std::optional<TimePoint> lastAlive = {};  // when last seen running
    TimePoint endedAt{};                 // of an ended process: when it was last seen, or found gone
    std::optional<QDateTime> started = {};
    std::optional<QString> description = {};
    std::optional<ProcInfo> live = {};  // the feed's figures, or the last ones of an ended process
    // What the inspector has read while following this very process.
    std::optional<ProcessLiveInfo> liveInfo = {};
    std::optional<MemoryFootprint> mem = {};
    bool memLoading = false;
    std::vector<NetConnection> conns = {};
    bool connsLoading = false;
    std::optional<OpenFilesResult> files = {};
    bool filesLoading = false;
};

struct DetailSectionText {
    QString title;
    QStringList lines;
};

// Everything the pane shows as text; every text from the process is on one line.
struct DetailTexts {
    QString name;
    QString facts;  // pid, when it ended or how long it runs, what it is
    QString chips;  // the live figures in one row
    // In the order of detailSectionOrder.
    std::array<DetailSectionText, 4> sections;
};

// The pane's texts for `facts`, `now` being the present (uptimes and "ended … ago").
DetailTexts analysisDetailTexts(const Localizer& loc, AnalysisKind kind, const DetailFacts& facts, TimePoint now);

}  // namespace velmora
