#pragma once

#include "core/serial_worker.h"
#include "platform/service_manager.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace velmora {

// The system's service manager: the systemd user manager on Linux, launchctl on macOS.
std::shared_ptr<platform::ServiceManager> makeSystemServiceManager();

// The user's background services as the storage window shows them. Listing, stopping and
// starting run on the service's own worker, one after another, so a slow or silent manager
// never holds the GUI thread; every action is followed by a fresh listing, and listings
// publish in the order they were asked for.
class ServicesService : public QObject {
    Q_OBJECT
  public:
    explicit ServicesService(std::shared_ptr<platform::ServiceManager> manager, QObject* parent = nullptr);
    ~ServicesService() override;

    // Sorted: running first, then by label.
    const std::vector<ServiceItem>& items() const { return items_; }
    // True from a request until its listing is published.
    bool loading() const { return pending_ > 0; }
    // False once a listing found no service manager to ask.
    bool reachable() const { return reachable_; }

    // The last stop or start that did not end as asked, published with the listing that
    // follows it; the next request's listing clears it.
    struct Notice {
        QString label;
        bool stopping = false;
        platform::ServiceOutcome outcome;
        bool operator==(const Notice&) const = default;
    };
    const std::optional<Notice>& notice() const { return notice_; }

    void scan();
    // `force`: the aggressive stop mode, which kills the service's processes first. The
    // program's own services are never stopped.
    void stop(const QString& label, bool force);
    void start(const QString& label);

  signals:
    void changed();

  private:
    void request(std::function<std::optional<Notice>(platform::ServiceManager&)> action);
    void publish(std::optional<std::vector<ServiceItem>> list, std::optional<Notice> notice);

    std::shared_ptr<platform::ServiceManager> manager_;
    std::vector<ServiceItem> items_;
    int pending_ = 0;
    bool reachable_ = true;
    std::optional<Notice> notice_;
    ThreadInbox* inbox_;
    SerialWorker worker_;
};

}  // namespace velmora
