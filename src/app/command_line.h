#pragma once

#include "app/print_mode.h"
#include "history/history_record.h"

#include <optional>

#include <QString>
#include <QStringList>

namespace velmora {

// Why a command line is refused (exit status 2). The texts are made later, by refusalText,
// once the interface language is known.
struct Refusal {
    enum class Reason {
        parser,      // the parser's own words (an unknown option, a missing value, ...) in `text`
        unknown,     // `subject` is an option this mode does not take (Qt's words for it)
        unexpected,  // `subject`: stray arguments, or --tray beside --print
        repeated,    // `subject` is given more than once
        needsPrint,  // `subject` is a printing option without --print
        needsServe,  // `subject` needs --serve
        needsHistory,  // `subject` needs --history
        badValue,    // `subject` has the malformed `value`
        badAddress,  // --serve has the malformed address `value`
    };
    Reason reason = Reason::parser;
    QString subject;
    QString value;
    QString text;
    bool operator==(const Refusal&) const = default;
};

// What a command line asks for, read in one pass before any application object exists, so
// refusing one or printing needs no display.
//  - tray: the tray application with its own options (--tray-only) and Qt's GUI options (-platform
//    xcb, -style=fusion, ...), serving beside it with --serve and --tray (or --tray-only);
//  - headless: --print and its options, and --serve alone, without any window;
//  - history: print the remembered record of the last --history RANGE, or with --top METRIC
//    that metric's culprits in it;
//  - help, version: print and exit 0;
//  - refused: print refusalText and exit 2.
struct CommandLine {
    enum class Mode { tray, headless, history, help, version, refused };
    Mode mode = Mode::tray;
    bool trayOnly = false;        // tray: never the stand-in window
    bool platformChosen = false;  // tray: -platform names Qt's platform itself
    PrintOptions options;         // headless: all of it; tray: `serve` when it serves too
    struct History {
        history::Millis range{0};
        bool json = false;
        std::optional<history::Metric> top;
    } history;                    // history
    Refusal refusal;              // refused
};
CommandLine parseCommandLine(const QStringList& arguments);

// The usage, in the interface language.
QString usageText();
// "Velmora 1.2.3".
QString versionText();
// What to print for a refused command line: the reason on its first line, then the usage
// where it helps (not for a malformed value, whose option the user knows).
QString refusalText(const Refusal& refusal);

}  // namespace velmora
