#pragma once

#include "app/notifier.h"
#include "core/settings.h"
#include "core/snapshot.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class Localizer;

// Posts a desktop notification when the machine is under heavy load, at most once a minute,
// naming the busiest process.
class AlertManager : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // `desktopEntry` is the application's desktop-entry id: without one the program is not
    // installed as an application, and neither permission requests nor alerts happen.
    AlertManager(AppSettings& settings, Localizer& localizer, std::unique_ptr<Notifier> notifier,
                 QString desktopEntry, Clock clock = std::chrono::steady_clock::now,
                 QObject* parent = nullptr);
    ~AlertManager() override;

    static constexpr double cooldownSeconds = 60;

    void requestAuthorization();
    // For every published snapshot, on the GUI thread.
    void consider(const Snapshot& snapshot);

    bool authorized() const { return authorized_; }
    // The message `consider` would post for `snapshot`.
    UserNotification message(const Snapshot& snapshot) const;

  signals:
    void authorizationChanged(bool authorized);

  private:
    void post(const Snapshot& snapshot);

    AppSettings& settings_;
    Localizer& loc_;
    std::unique_ptr<Notifier> notifier_;
    QString desktopEntry_;
    Clock clock_;
    // Monotonic, so a clock change cannot silence alerts or let them repeat.
    std::optional<std::chrono::steady_clock::time_point> lastAlert_;
    bool authorized_ = false;
};

}  // namespace velmora
