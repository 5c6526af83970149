#pragma once

#include "core/snapshot.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <string_view>
#include <vector>

namespace velmora {

// The two text formats a scraper may ask for.
enum class ExpositionFormat {
    prometheusText,  // text/plain; version=0.0.4
    openMetrics,     // application/openmetrics-text; version=1.0.0
};

// What a scrape shows beside the snapshot: facts fixed for the whole run.
struct ExpositionContext {
    std::vector<QString> coreKinds;  // `kind` label per logical core, in core order
    QString version;                 // the program's version, for the build-info series
    int processLimit = 0;            // how many of the busiest processes to show
    // Whether the machine has a GPU: without one the snapshot's GPU figure is a stand-in 0,
    // which a scrape leaves out rather than report as a reading.
    bool gpu = false;
};

// The format an Accept header asks for: OpenMetrics 1.0.0 only when it is named and
// weighted at least as high as plain text; plain text otherwise, also for no header at all.
ExpositionFormat negotiateFormat(QByteArrayView accept);
QByteArray contentType(ExpositionFormat format);

// A label value between its quotes: backslash, double quote and line feed escaped, the same
// in both formats.
void appendLabelValue(QByteArray& out, QStringView value);
// A HELP text: backslash and line feed escaped, and in OpenMetrics the double quote too.
void appendHelpText(QByteArray& out, std::string_view help, ExpositionFormat format);
// A sample value: the shortest text that reads back as the same double; NaN, +Inf, -Inf.
void appendSampleValue(QByteArray& out, double value);

// The `limit` busiest processes by CPU, busiest first, each pid once (the first entry wins).
std::vector<const ProcInfo*> busiestProcesses(const Snapshot& snapshot, int limit);

// Renders one scrape into `out` (replacing its content). Without a snapshot (nothing has been
// published yet) only the build information is shown: no figure is reported as zero.
void renderExposition(const Snapshot* snapshot, const ExpositionContext& context, ExpositionFormat format,
                      QByteArray& out);

}  // namespace velmora
