#include "export/metrics_exporter.h"

#include "engine/metrics_feed.h"
#include "export/metrics_server.h"

namespace velmora {

MetricsExporter::MetricsExporter(MetricsFeed& feed, std::unique_ptr<MetricsServer> server,
                                 ProcessDemand& demand, QObject* parent)
    : QObject(parent), server_(std::move(server)) {
    if (server_->processLimit() > 0) processes_ = demand.acquire();
    // A feed that has published already has a snapshot worth serving; the default one before
    // the first tick is not (its zeros would pass for readings).
    if (!feed.history().empty()) server_->publish(feed.current());
    connect(&feed, &MetricsFeed::currentChanged, this, [this, &feed] { server_->publish(feed.current()); });
}

MetricsExporter::~MetricsExporter() = default;

}  // namespace velmora
