#pragma once

#include "platform/process.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>

namespace velmora {

// Bounds on one run of a command-line tool: a tool that hangs or floods its pipe must not
// hold its caller. The defaults fit every tool Velmora runs with room to spare.
struct ToolLimits {
    std::chrono::milliseconds timeout{15000};
    qint64 maxOutputBytes = 32 << 20;
    qint64 maxErrorBytes = 1 << 20;
};

struct ToolRun {
    bool started = false;
    bool timedOut = false;   // killed at the time-out
    bool truncated = false;  // killed for too much output; `out` ends at its last whole line
    QByteArray out;
    QByteArray err;  // only when asked for
};

// Runs `path` with `args` (an argument vector; no shell is involved), standard input
// closed and the C locale (platform::toolEnvironment), and collects its output within
// `limits`. The exit status is not examined.
ToolRun runToolCapture(const QString& path, const QStringList& args, bool keepErrors,
                       const ToolLimits& limits = {});

// The tool's standard output as text; absent when it cannot be launched, runs past the
// time-out, or prints something that is not UTF-8. Standard error is discarded.
std::optional<QString> runTool(const QString& path, const QStringList& args, const ToolLimits& limits = {});

// As runTool, but decoded line by line, lossily (platform::decodeLinesLossy): for the tools
// whose tables carry process names the kernel cut bytewise.
std::optional<QString> runToolLines(const QString& path, const QStringList& args,
                                    const ToolLimits& limits = {});

// Strict UTF-8 decoding: absent on any malformed sequence.
using platform::decodeUtf8;

// A size as a number and a unit ("1.5", "KB" → 1536). Units are exact and case-sensitive:
// B, KB, MB, GB, TB (binary multiples). The number is read in the C locale; empty text,
// leading white space, trailing text, negative, non-finite and too large values are absent.
std::optional<uint64_t> parseSize(const QString& number, const QString& unit);

}  // namespace velmora
