#pragma once

#include "core/snapshot.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

// Headless mode: runs the engine without any window and prints each published snapshot,
// for SSH sessions and scripts.
struct PrintOptions {
    bool json = false;       // one JSON object per line instead of the table
    int count = -1;          // stop after this many snapshots; -1 runs until interrupted
    double interval = 2.0;   // seconds between snapshots
    bool processes = false;  // sample the process list too
};

struct PrintArgs {
    std::optional<PrintOptions> options;  // absent: exit with `exitCode` after printing `message`
    int exitCode = 0;
    QString message;
};

// True when the command line asks for the print mode.
bool wantsPrintMode(int argc, char** argv);
PrintArgs parsePrintArgs(const QStringList& arguments, double defaultInterval);

QString tableHeader();
QString tableRow(const Snapshot& s);
// The busiest `top` processes by CPU under a header line.
QStringList processTable(const Snapshot& s, int top);

// Needs a QCoreApplication; returns the process exit status.
int runPrintMode(const PrintOptions& options);

}  // namespace velmora
