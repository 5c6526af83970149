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
    virtual void removeLoginItem(const StartupItem& item) = 0;
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

    void scan(const QString& language);
    void removeLoginItem(const StartupItem& item, const QString& language);

  signals:
    void changed();

  private:
    void request(std::function<void(StartupSource&)> action, const QString& language);

    std::shared_ptr<StartupSource> source_;
    std::vector<StartupItem> items_;
    int pending_ = 0;
    bool needsPermission_ = false;
    ThreadInbox* inbox_;
    SerialWorker worker_;
};

}  // namespace velmora
