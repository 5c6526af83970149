#pragma once

#include "platform/service_manager.h"

#include <QDBusConnection>
#include <QStringList>

#include <chrono>
#include <memory>

class QThread;

namespace velmora::platform {

class JobWatch;

// The systemd user manager (org.freedesktop.systemd1 on the session bus): its loaded service
// units, stopped, killed and started by D-Bus calls that each wait at most `timeout`. A stop
// or start returns a job at once; it is followed to its end (the manager's JobRemoved signal)
// for at most `jobWait`, so the listing after it shows the new state and a failed job says so.
class SystemdUserManager : public ServiceManager {
  public:
    // `userUnitDirs`: the folders of the user's own unit files; units whose file lies
    // elsewhere, or that have none, count as installed by the system.
    SystemdUserManager(QDBusConnection bus, QStringList userUnitDirs,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5),
                       std::chrono::milliseconds jobWait = std::chrono::seconds(10));
    ~SystemdUserManager() override;
    SystemdUserManager(const SystemdUserManager&) = delete;
    SystemdUserManager& operator=(const SystemdUserManager&) = delete;

    // The session bus and the user's unit folders under the XDG configuration and data homes.
    static QStringList defaultUserUnitDirs();

    std::optional<std::vector<ServiceItem>> list() override;
    ServiceOutcome stop(const QString& label) override;
    void kill(const QString& label) override;
    ServiceOutcome start(const QString& label) override;

  private:
    ServiceOutcome runJob(const QString& method, const QString& label);
    bool watchJobs();
    QStringList unitFiles();

    QDBusConnection bus_;
    QStringList userUnitDirs_;
    int timeoutMs_;
    std::chrono::milliseconds jobWait_;
    // The manager's signals arrive on a thread of their own, so a caller blocked in a wait
    // for its job still hears of the job's end. Started with the first stop or start.
    std::unique_ptr<QThread> listener_;
    std::unique_ptr<JobWatch> watch_;
    bool watching_ = false;
};

}  // namespace velmora::platform
