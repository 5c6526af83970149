#pragma once

#include "app/serve_mode.h"
#include "core/snapshot.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

// Headless mode: runs the engine without any window and prints each published snapshot,
// for SSH sessions and scripts.
// The same mode serves the figures over HTTP with --serve, printing nothing unless --print
// is given too.
struct PrintOptions {
    bool json = false;       // one JSON object per line instead of the table
    int count = -1;          // stop after this many snapshots; -1 runs until interrupted
    double interval = 2.0;   // seconds between snapshots
    bool processes = false;  // sample the process list too
    bool print = true;       // print the snapshots (false: --serve alone)
    std::optional<ServeOptions> serve;
};

struct PrintArgs {
    std::optional<PrintOptions> options;  // absent: exit with `exitCode` after printing `message`
    int exitCode = 0;
    QString message;
};

// What a command line starts, decided from the raw arguments before any application
// object exists. `tray` only when every argument belongs to the tray application: its own
// --tray-only and Qt's GUI options with their values (-platform xcb, -style=fusion, ...).
// Everything else runs headless: the print mode, its help, and every command line to refuse,
// for which parsePrintArgs gives the usage and exit status 2, so refusing one needs no
// display.
// --serve runs headless too, unless --tray (or --tray-only) asks for the tray application
// beside it and the serve options are well-formed (a malformed one is refused headless).
struct Launch {
    enum class Mode { tray, headless };
    Mode mode = Mode::headless;
    bool trayOnly = false;  // never the stand-in window
    bool serve = false;     // the tray application serves too: parsePrintArgs gives the options
};
Launch launchOf(const QStringList& arguments);

// The print mode's options (and the serve options), its help, or the refusal of a command
// line. Without --print the tray application's arguments are set aside, so an error names
// only what nobody knows.
PrintArgs parsePrintArgs(const QStringList& arguments, double defaultInterval);

QString tableHeader();
QString tableRow(const Snapshot& s);
// The busiest `top` processes by CPU under a header line.
QStringList processTable(const Snapshot& s, int top);

// Needs a QCoreApplication; returns the process exit status.
int runPrintMode(const PrintOptions& options);

}  // namespace velmora
