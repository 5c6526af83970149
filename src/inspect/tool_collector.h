#pragma once

#include "inspect/process_collector.h"
#include "inspect/run_tool.h"
#include "inspect/tool_parsers.h"

namespace velmora {

// Collection through the Apple system's inspection tools: the memory-footprint tool, the
// open-file tool in field and table mode, and the network-statistics tool in one-shot mode.
// Every run is bounded by `limits`.
class ToolCollector : public ProcessCollector {
  public:
    struct Paths {
        QString footprint = QStringLiteral("/usr/bin/footprint");
        QString lsof = QStringLiteral("/usr/sbin/lsof");
        QString nettop = QStringLiteral("/usr/bin/nettop");
    };

    ToolCollector();
    ToolCollector(platform::ProcessFactsSource& source, Paths paths, ToolLimits limits);

    std::optional<ProcessStaticInfo> fetchStatic(int32_t pid) override;
    std::optional<ProcessLiveInfo> fetchLive(int32_t pid) override;
    std::optional<MemoryFootprint> memory(int32_t pid) override;
    // Traffic first, then the socket table.
    std::vector<NetConnection> connections(int32_t pid) override;
    std::optional<OpenFilesResult> openFiles(int32_t pid) override;

    QHash<QString, PortTraffic> nettopBytesByLocalPort(int32_t pid);

  private:
    platform::ProcessFactsSource& source_;
    Paths paths_;
    ToolLimits limits_;
};

}  // namespace velmora
