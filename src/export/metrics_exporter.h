#pragma once

#include "engine/process_demand.h"

#include <QObject>

#include <memory>

namespace velmora {

class MetricsFeed;
class MetricsServer;

// Connects a listening server to the feed: each snapshot the feed publishes becomes the one
// scrapes render, and while the server shows processes the process list is asked for. Lives
// on the feed's (GUI) thread; the copy it hands over is all it does per snapshot.
class MetricsExporter : public QObject {
    Q_OBJECT
  public:
    MetricsExporter(MetricsFeed& feed, std::unique_ptr<MetricsServer> server, ProcessDemand& demand,
                    QObject* parent = nullptr);
    ~MetricsExporter() override;

    MetricsServer& server() { return *server_; }

  private:
    std::unique_ptr<MetricsServer> server_;
    ProcessDemand::Token processes_;
};

}  // namespace velmora
