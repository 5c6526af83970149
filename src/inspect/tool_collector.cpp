#include "inspect/tool_collector.h"

#include "inspect/reverse_dns.h"

namespace velmora {

ToolCollector::ToolCollector() : ToolCollector(platform::systemProcessFacts(), Paths(), ToolLimits()) {}

ToolCollector::ToolCollector(platform::ProcessFactsSource& source, Paths paths, ToolLimits limits)
    : source_(source), paths_(std::move(paths)), limits_(limits) {}

std::optional<ProcessStaticInfo> ToolCollector::fetchStatic(int32_t pid) {
    return ProcessDetailFetcher::fetchStaticRaw(pid, source_);
}

std::optional<ProcessLiveInfo> ToolCollector::fetchLive(int32_t pid) {
    return ProcessDetailFetcher::fetchLive(pid, source_);
}

std::optional<MemoryFootprint> ToolCollector::memory(int32_t pid) {
    const auto out = runTool(paths_.footprint, {QString::number(pid)}, limits_);
    if (!out) return std::nullopt;
    return parseFootprintOutput(*out);
}

QHash<QString, PortTraffic> ToolCollector::nettopBytesByLocalPort(int32_t pid) {
    // Its per-process lines carry names cut bytewise: one cut inside a character must not
    // cost the socket lines.
    const auto out = runToolLines(paths_.nettop,
                                  {QStringLiteral("-x"), QStringLiteral("-n"), QStringLiteral("-l"),
                                   QStringLiteral("1"), QStringLiteral("-p"), QString::number(pid),
                                   QStringLiteral("-J"), QStringLiteral("bytes_in,bytes_out")},
                                  limits_);
    if (!out) return {};
    return parseNettopOutput(*out);
}

std::vector<NetConnection> ToolCollector::connections(int32_t pid) {
    const auto traffic = nettopBytesByLocalPort(pid);
    // The table's command column is cut bytewise as well.
    const auto out = runToolLines(paths_.lsof,
                                  {QStringLiteral("-nP"), QStringLiteral("-i"), QStringLiteral("-a"),
                                   QStringLiteral("-p"), QString::number(pid)},
                                  limits_);
    if (!out) return {};
    return parseLsofConnections(*out, traffic,
                                [](const QString& ip) { return ReverseDNS::shared().hostname(ip); });
}

std::optional<OpenFilesResult> ToolCollector::openFiles(int32_t pid) {
    const ToolRun run = runToolCapture(
        paths_.lsof,
        {QStringLiteral("-p"), QString::number(pid), QStringLiteral("-nP"), QStringLiteral("-Ftn")}, true,
        limits_);
    if (!run.started || run.timedOut) return std::nullopt;
    const auto out = decodeUtf8(run.out);
    if (!out) return std::nullopt;
    return parseLsofFieldOutput(*out, decodeUtf8(run.err));
}

}  // namespace velmora
