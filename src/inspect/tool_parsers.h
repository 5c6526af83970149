#pragma once

#include "inspect/process_types.h"

#include <QHash>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace velmora {

// Readers of the text that the Apple system's inspection tools print. Portable, so they
// are tested everywhere with recorded outputs.

// Bytes received and sent on one local port.
struct PortTraffic {
    uint64_t in = 0;
    uint64_t out = 0;
};

// The text after the last `separator` when it is a non-empty run of digits.
std::optional<QString> lastComponent(const QString& s, QChar separator);

// The memory-footprint tool's report: the overall "Footprint:" figure and its category
// rows ("dirty unit clean unit reclaimable unit regions name..."). Absent when neither is
// found.
std::optional<MemoryFootprint> parseFootprintOutput(const QString& output);

// The open-file tool in field mode ("t" type and "n" name lines). `errors` is its error
// stream when that decoded; a mention of "permission" in it marks the list incomplete.
// At most kOpenFileNamesKept names of each kind are kept; all are counted.
OpenFilesResult parseLsofFieldOutput(const QString& output, const std::optional<QString>& errors);

// The network-statistics tool's per-socket lines ("proto local<->remote ... in out"),
// keyed by local port; a later line of the same port replaces an earlier one.
QHash<QString, PortTraffic> parseNettopOutput(const QString& output);

// The open-file tool's table of Internet sockets, with traffic joined by local port and
// remote names from `hostFor` (called with each remote address). Sorted as
// sortConnections() does.
std::vector<NetConnection> parseLsofConnections(
    const QString& output, const QHash<QString, PortTraffic>& traffic,
    const std::function<std::optional<QString>(const QString&)>& hostFor);

// Stable: more traffic first; at equal traffic an established connection first.
void sortConnections(std::vector<NetConnection>& connections);

}  // namespace velmora
