#pragma once

// A stand-in for the systemd user manager, served on a private dbus-daemon: it answers the
// calls Velmora makes (ListUnits, ListUnitFiles, StopUnit, KillUnit, StartUnit and the
// Service properties MainPID and ExecMainStatus) and records each manager call.
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

namespace velmora::test {

struct FakeUnit {
    QString name;
    uint pid = 0;  // 0: not running
    int status = 0;
    QString file;  // the unit file; empty when it has none
    QString load = QStringLiteral("loaded");
};

class FakeSystemd : public QDBusVirtualObject {
  public:
    enum class Mode { answer, silent, refuse };

    FakeSystemd();
    // Sets the units listed from now on.
    void setUnits(std::vector<FakeUnit> units);
    void setMode(Mode mode) { mode_ = mode; }
    // "StopUnit a.service replace", "KillUnit a.service all 9", ... in arrival order.
    QStringList calls() const;
    // Running units stop on StopUnit and start on StartUnit, so a rescan shows the change.
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

  private:
    mutable std::mutex lock_;
    std::vector<FakeUnit> units_;
    QStringList calls_;
    std::atomic<Mode> mode_{Mode::answer};
};

// A private dbus-daemon with the fake manager registered under org.freedesktop.systemd1 on a
// connection of its own, and a client connection for the code under test.
class FakeSystemdBus {
  public:
    FakeSystemdBus();
    ~FakeSystemdBus();
    // False when dbus-daemon is missing or did not start.
    bool ready() const { return ready_; }
    // Registers the fake manager; without it the bus has no service manager at all.
    bool serve();
    QDBusConnection client() const { return QDBusConnection(clientName_); }
    FakeSystemd& manager() { return manager_; }

  private:
    QProcess daemon_;
    QString clientName_, serverName_;
    FakeSystemd manager_;
    bool ready_ = false;
};

}  // namespace velmora::test
