#pragma once

#include "app/serve_mode.h"
#include "core/snapshot.h"

#include <QString>
#include <QStringList>

#include <cstdio>
#include <initializer_list>
#include <optional>
#include <utility>

namespace velmora {

// Headless mode: runs the engine without any window and prints each published snapshot,
// for SSH sessions and scripts.
// The same mode serves the figures over HTTP with --serve, printing nothing unless --print
// is given too.
struct PrintOptions {
    bool json = false;      // one JSON object per line instead of the table
    int count = -1;         // stop after this many snapshots; -1 runs until interrupted
    std::optional<double> interval;  // seconds between snapshots; absent: the refresh interval setting
    bool processes = false;  // sample the process list too
    bool print = true;       // print the snapshots (false: --serve alone)
    std::optional<ServeOptions> serve;
};

// Shared by the printing modes: a whole percent; cells padded to their widths (negative:
// left-aligned) and joined by spaces; one line in UTF-8, flushed at once.
QString percent(double v);
QString columns(std::initializer_list<std::pair<QString, int>> cells);
void writeLine(const QString& line, FILE* to = stdout);

QString tableHeader();
QString tableRow(const Snapshot& s);
// The busiest `top` processes by CPU under a header line.
QStringList processTable(const Snapshot& s, int top);

// Needs a QCoreApplication; returns the process exit status.
int runPrintMode(const PrintOptions& options);

}  // namespace velmora
