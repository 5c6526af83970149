// Lets GoogleTest print the outcomes of service and startup actions in failure messages.
#pragma once

#include "maintenance/services_service.h"
#include "maintenance/startup_service.h"

#include <ostream>

namespace velmora {

inline void PrintTo(const RemovalFailure& f, std::ostream* os) {
    *os << "{reason " << static_cast<int>(f.reason) << ", " << f.path.toStdString() << '}';
}
inline void PrintTo(const FailedRemoval& f, std::ostream* os) {
    *os << f.name.toStdString() << ": ";
    PrintTo(f.failure, os);
}
namespace platform {
inline void PrintTo(const ServiceOutcome& o, std::ostream* os) {
    *os << "{kind " << static_cast<int>(o.kind) << ", \"" << o.detail.toStdString() << "\"}";
}
}  // namespace platform
inline void PrintTo(const ServicesService::Notice& n, std::ostream* os) {
    *os << n.label.toStdString() << (n.stopping ? " stop " : " start ");
    platform::PrintTo(n.outcome, os);
}

}  // namespace velmora
