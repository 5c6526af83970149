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
    int32_t lastStatus = 0;      // the main process's last exit status, or its signal; 0 when none
    // Installed by the operating system rather than by the user: such services are only
    // stopped in the aggressive stop mode.
    bool system = true;
    // The main process was ended by signal `lastStatus` rather than exiting with it.
    bool lastSignaled = false;

    bool operator==(const ServiceItem&) const = default;
};

namespace platform {

// What became of a stop or start request.
struct ServiceOutcome {
    enum class Kind {
        done,        // finished as asked, or the manager gives no word either way
        failed,      // the manager's job ended otherwise: `detail` is its result ("failed", "timeout")
        refused,     // the manager refused the request: `detail` is its message
        noAnswer,    // the manager did not answer the request
        unfinished,  // the job was still running when the wait for it ended
    };
    Kind kind = Kind::done;
    QString detail;

    bool operator==(const ServiceOutcome&) const = default;
};

// The user's service manager. Every call blocks until the manager answers or its time-out
// passes, so callers run them on a worker, never on the GUI thread.
class ServiceManager {
  public:
    virtual ~ServiceManager() = default;
    // Absent when the manager cannot be reached at all.
    virtual std::optional<std::vector<ServiceItem>> list() = 0;
    // Asks the manager to stop the service the ordinary way; returns once the stop is over
    // (or the wait for it ended), so a listing after it shows the new state.
    virtual ServiceOutcome stop(const QString& label) = 0;
    // Sends SIGKILL to every process of the service. Refusals are not reported: the stop
    // that follows tells.
    virtual void kill(const QString& label) = 0;
    // As stop, for a start.
    virtual ServiceOutcome start(const QString& label) = 0;
};

}  // namespace platform
}  // namespace velmora
