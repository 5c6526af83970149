#pragma once

// A stand-in for the systemd user manager, served on a private dbus-daemon: it answers the
// calls Velmora makes (ListUnits, ListUnitFiles, Subscribe, StopUnit, KillUnit, StartUnit and
// the Service properties MainPID, ExecMainStatus and ExecMainCode) and records each manager
// call. Stop and start return a job that ends, with the JobRemoved signal, at once or when
// the test says so.
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
    int code = 0;  // ExecMainCode: CLD_EXITED, CLD_KILLED, ...; 0 when it never ran
};

class FakeSystemd : public QDBusVirtualObject {
  public:
    enum class Mode { answer, silent, refuse };
    // When the jobs of stop and start end: right after the reply, or at finishJobs().
    enum class Jobs { atOnce, held };

    FakeSystemd();
    // Sets the units listed from now on.
    void setUnits(std::vector<FakeUnit> units);
    void setMode(Mode mode) { mode_ = mode; }
    void setJobs(Jobs jobs) { jobs_ = jobs; }
    // "StopUnit a.service replace", "KillUnit a.service all 9", ... in arrival order.
    QStringList calls() const;
    // How many times the units were listed, and how many jobs wait for finishJobs().
    int listings() const;
    int heldJobs() const;
    // Ends every held job with `result` ("done", "failed", ...), sending JobRemoved on
    // `connection`; a job that is done changes its unit as it would have at once.
    void finishJobs(const QString& result, const QDBusConnection& connection);
    // Running units stop on StopUnit and start on StartUnit, so a rescan shows the change.
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;
    QString introspect(const QString& path) const override;

  private:
    struct Job {
        uint id;
        QString path, unit, member;
    };
    void apply(const QString& member, const QString& unit);
    static void sendRemoved(const Job& job, const QString& result, const QDBusConnection& connection);

    mutable std::mutex lock_;
    std::vector<FakeUnit> units_;
    QStringList calls_;
    std::vector<Job> held_;
    uint nextJob_ = 1;
    int listings_ = 0;
    std::atomic<Mode> mode_{Mode::answer};
    std::atomic<Jobs> jobs_{Jobs::atOnce};
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
    // Ends the held jobs with `result`, the signal sent from the manager's connection.
    void finishJobs(const QString& result) { manager_.finishJobs(result, QDBusConnection(serverName_)); }

  private:
    QProcess daemon_;
    QString clientName_, serverName_;
    FakeSystemd manager_;
    bool ready_ = false;
};

}  // namespace velmora::test
