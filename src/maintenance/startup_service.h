#pragma once

#include "core/serial_worker.h"
#include "maintenance/startup_item.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

namespace velmora {

struct StartupScan {
    std::vector<StartupItem> items;  // login items first, then launch agents
    // The login items could not be read for want of the automation permission (macOS).
    bool needsPermission = false;
};

// Where the startup items of one system come from. Calls block; run them on a worker.
class StartupSource {
  public:
    virtual ~StartupSource() = default;
    // `language`: the interface language, for names that come in several languages.
    virtual StartupScan scan(const QString& language) = 0;
    // Absent when the item was removed, or when the system gives no word either way (the
    // rescan shows the outcome).
    virtual std::optional<RemovalFailure> removeLoginItem(const StartupItem& item) = 0;
};

// A removal that did nothing: the item's name as listed and why.
struct FailedRemoval {
    QString name;
    RemovalFailure failure;

    bool operator==(const FailedRemoval&) const = default;
};

// The system's own source: XDG autostart entries and user units on Linux, System Events
// login items and the user's launch agents on macOS.
std::unique_ptr<StartupSource> makeSystemStartupSource();

// What starts when the user logs in, as the storage window shows it. Scans and removals run
// on the service's own worker, in order; a removal is followed by a scan.
class StartupService : public QObject {
    Q_OBJECT
  public:
    explicit StartupService(std::unique_ptr<StartupSource> source, QObject* parent = nullptr);
    ~StartupService() override;

    const std::vector<StartupItem>& items() const { return items_; }
    bool loading() const { return pending_ > 0; }
    // Set once a scan found the login items unreadable for want of permission; it stays.
    bool needsPermission() const { return needsPermission_; }
    // The last removal's failure, published with the listing that follows it; the next
    // request's listing clears it.
    const std::optional<FailedRemoval>& failedRemoval() const { return failedRemoval_; }

    void scan(const QString& language);
    void removeLoginItem(const StartupItem& item, const QString& language);

  signals:
    void changed();

  private:
    void request(std::function<std::optional<FailedRemoval>(StartupSource&)> action, const QString& language);

    std::shared_ptr<StartupSource> source_;
    std::vector<StartupItem> items_;
    int pending_ = 0;
    bool needsPermission_ = false;
    std::optional<FailedRemoval> failedRemoval_;
    ThreadInbox* inbox_;
    SerialWorker worker_;
};

}  // namespace velmora
