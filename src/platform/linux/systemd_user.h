#pragma once

#include "platform/service_manager.h"

#include <QDBusConnection>
#include <QStringList>

#include <chrono>

namespace velmora::platform {

// The systemd user manager (org.freedesktop.systemd1 on the session bus): its loaded service
// units, stopped, killed and started by D-Bus calls that each wait at most `timeout`.
class SystemdUserManager : public ServiceManager {
  public:
    // `userUnitDirs`: the folders of the user's own unit files; units whose file lies
    // elsewhere, or that have none, count as installed by the system.
    SystemdUserManager(QDBusConnection bus, QStringList userUnitDirs,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // The session bus and the user's unit folders under the XDG configuration and data homes.
    static QStringList defaultUserUnitDirs();

    std::optional<std::vector<ServiceItem>> list() override;
    void stop(const QString& label) override;
    void kill(const QString& label) override;
    void start(const QString& label) override;

  private:
    void callManager(const QString& method, const QVariantList& args);
    QStringList unitFiles();

    QDBusConnection bus_;
    QStringList userUnitDirs_;
    int timeoutMs_;
};

}  // namespace velmora::platform
