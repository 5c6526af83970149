#include "app/serve_mode.h"

#include "core/localizer.h"
#include "platform/gpu.h"
#include "samplers/cpu_sampler.h"

namespace velmora {

namespace {

QString kindLabel(const CoreKind& kind) {
    switch (kind.type) {
        case CoreKind::Type::performance:
            return QStringLiteral("performance");
        case CoreKind::Type::efficiency:
            return QStringLiteral("efficiency");
        case CoreKind::Type::other:
            break;
    }
    // Label values are for queries: one fixed word rather than the system's cluster name.
    return QStringLiteral("other");
}

bool machineHasGpu() {
    const std::unique_ptr<platform::GpuSource> source = platform::makeGpuSource();
    platform::GpuReading reading;
    return source && source->read(reading) && reading.device;
}

}  // namespace

ExpositionContext exporterContext(int processes) {
    ExpositionContext context;
    for (const CoreKind& kind : CoreTopology::shared().kinds)
        context.coreKinds.push_back(kindLabel(kind));
#ifdef VELMORA_VERSION
    context.version = QStringLiteral(VELMORA_VERSION);
#endif
    context.processLimit = processes;
    context.gpu = machineHasGpu();
    return context;
}

std::unique_ptr<MetricsServer> startMetricsServer(const ServeOptions& options, QString* error) {
    auto server = std::make_unique<MetricsServer>(exporterContext(options.processes));
    if (const auto failed = server->listen(options.address)) {
        const QString where = options.address.text();
        if (error)
            *error = failed->code == QAbstractSocket::AddressInUseError
                         ? L("srvInUse", where)
                         : L("srvCannotListen", where, failed->text);
        return nullptr;
    }
    return server;
}

QString servingMessage(const MetricsServer& server, const ServeOptions& options) {
    ListenAddress bound = options.address;
    bound.port = server.port();
    return L("srvServing", bound.text());
}

}  // namespace velmora
