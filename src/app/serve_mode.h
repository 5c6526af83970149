#pragma once

#include "export/metrics_server.h"

#include <QString>

#include <memory>

namespace velmora {

// `--serve [ADDRESS:]PORT` and `--serve-processes N`.
struct ServeOptions {
    ListenAddress address;
    int processes = 0;  // the busiest processes to serve; 0 serves none and samples none
};

// The facts a scrape shows beside the snapshot: the core kinds of this machine, whether it has
// a GPU, and the version.
ExpositionContext exporterContext(int processes);

// A server listening where the options say, or null with `error` set to a sentence for the
// user (the address is in use, cannot be bound, ...).
std::unique_ptr<MetricsServer> startMetricsServer(const ServeOptions& options, QString* error);

// The line that tells where the figures are served.
QString servingMessage(const MetricsServer& server, const ServeOptions& options);

}  // namespace velmora
