#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

// One background service of the user's session, as the service manager reports it.
struct ServiceItem {
    QString label;
    std::optional<int32_t> pid;  // present while it runs
    int32_t lastStatus = 0;      // the main process's last exit status; 0 when none
    // Installed by the operating system rather than by the user: such services are only
    // stopped in the aggressive stop mode.
    bool system = true;

    bool operator==(const ServiceItem&) const = default;
};

namespace platform {

// The user's service manager. Every call blocks until the manager answers or its time-out
// passes, so callers run them on a worker, never on the GUI thread. Refusals are not
// reported: the next listing shows what really happened.
class ServiceManager {
  public:
    virtual ~ServiceManager() = default;
    // Absent when the manager cannot be reached at all.
    virtual std::optional<std::vector<ServiceItem>> list() = 0;
    // Asks the manager to stop the service the ordinary way.
    virtual void stop(const QString& label) = 0;
    // Sends SIGKILL to every process of the service.
    virtual void kill(const QString& label) = 0;
    virtual void start(const QString& label) = 0;
};

}  // namespace platform
}  // namespace velmora
