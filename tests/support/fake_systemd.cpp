#include "support/fake_systemd.h"

#include "support/test_util.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStandardPaths>

namespace {

struct UnitRow {
    QString name, description, load, active, sub, following;
    QDBusObjectPath path;
    uint jobId = 0;
    QString jobType;
    QDBusObjectPath jobPath;
};

struct UnitFileRow {
    QString path, state;
};

QDBusArgument& operator<<(QDBusArgument& a, const UnitRow& r) {
    a.beginStructure();
    a << r.name << r.description << r.load << r.active << r.sub << r.following << r.path << r.jobId << r.jobType
      << r.jobPath;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, UnitRow& r) {
    a.beginStructure();
    a >> r.name >> r.description >> r.load >> r.active >> r.sub >> r.following >> r.path >> r.jobId >> r.jobType >>
        r.jobPath;
    a.endStructure();
    return a;
}
QDBusArgument& operator<<(QDBusArgument& a, const UnitFileRow& r) {
    a.beginStructure();
    a << r.path << r.state;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, UnitFileRow& r) {
    a.beginStructure();
    a >> r.path >> r.state;
    a.endStructure();
    return a;
}

}  // namespace

Q_DECLARE_METATYPE(UnitRow)
Q_DECLARE_METATYPE(UnitFileRow)

namespace velmora::test {

namespace {

const QString kRoot = QStringLiteral("/org/freedesktop/systemd1");
const QString kUnitPrefix = QStringLiteral("/org/freedesktop/systemd1/unit/u");

}  // namespace

FakeSystemd::FakeSystemd() {
    qDBusRegisterMetaType<UnitRow>();
    qDBusRegisterMetaType<QList<UnitRow>>();
    qDBusRegisterMetaType<UnitFileRow>();
    qDBusRegisterMetaType<QList<UnitFileRow>>();
}

void FakeSystemd::setUnits(std::vector<FakeUnit> units) {
    std::lock_guard g(lock_);
    units_ = std::move(units);
}

QStringList FakeSystemd::calls() const {
    std::lock_guard g(lock_);
    return calls_;
}

int FakeSystemd::listings() const {
    std::lock_guard g(lock_);
    return listings_;
}

int FakeSystemd::heldJobs() const {
    std::lock_guard g(lock_);
    return static_cast<int>(held_.size());
}

void FakeSystemd::apply(const QString& member, const QString& unit) {
    for (FakeUnit& u : units_) {
        if (u.name != unit) continue;
        if (member == QLatin1String("StopUnit") || member == QLatin1String("KillUnit")) u.pid = 0;
        if (member == QLatin1String("StartUnit")) u.pid = 4242;
    }
}

void FakeSystemd::sendRemoved(const Job& job, const QString& result, const QDBusConnection& connection) {
    QDBusMessage signal = QDBusMessage::createSignal(kRoot, QStringLiteral("org.freedesktop.systemd1.Manager"),
                                                     QStringLiteral("JobRemoved"));
    signal << job.id << QVariant::fromValue(QDBusObjectPath(job.path)) << job.unit << result;
    connection.send(signal);
}

void FakeSystemd::finishJobs(const QString& result, const QDBusConnection& connection) {
    std::vector<Job> jobs;
    {
        std::lock_guard g(lock_);
        jobs.swap(held_);
        if (result == QLatin1String("done"))
            for (const Job& job : jobs)
                apply(job.member, job.unit);
    }
    for (const Job& job : jobs)
        sendRemoved(job, result, connection);
}

QString FakeSystemd::introspect(const QString&) const {
    return {};
}

bool FakeSystemd::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    const Mode mode = mode_;
    if (mode == Mode::silent) return true;  // never answers; the caller's time-out ends the wait
    if (mode == Mode::refuse) {
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                                                 QStringLiteral("refused")));
        return true;
    }
    std::lock_guard g(lock_);
    const QString member = message.member();
    const QVariantList args = message.arguments();
    if (message.path() == kRoot) {
        if (member == QLatin1String("Subscribe") || member == QLatin1String("Unsubscribe")) {
            connection.send(message.createReply());
            return true;
        }
        if (member == QLatin1String("ListUnits")) {
            ++listings_;
            QList<UnitRow> rows;
            for (size_t i = 0; i < units_.size(); ++i) {
                const FakeUnit& u = units_[i];
                rows.push_back({u.name, QStringLiteral("fake"), u.load,
                                u.pid ? QStringLiteral("active") : QStringLiteral("inactive"),
                                u.pid ? QStringLiteral("running") : QStringLiteral("dead"), QString(),
                                QDBusObjectPath(kUnitPrefix + QString::number(i)), 0, QString(),
                                QDBusObjectPath(QStringLiteral("/"))});
            }
            connection.send(message.createReply(QVariant::fromValue(rows)));
            return true;
        }
        if (member == QLatin1String("ListUnitFiles")) {
            QList<UnitFileRow> rows;
            for (const FakeUnit& u : units_)
                if (!u.file.isEmpty()) rows.push_back({u.file, QStringLiteral("enabled")});
            connection.send(message.createReply(QVariant::fromValue(rows)));
            return true;
        }
        QStringList words{member};
        for (const QVariant& a : args)
            words.push_back(a.toString());
        calls_.push_back(words.join(QLatin1Char(' ')));
        const QString unit = args.isEmpty() ? QString() : args.first().toString();
        if (member == QLatin1String("KillUnit")) {
            apply(member, unit);
            connection.send(message.createReply());
            return true;
        }
        const uint id = nextJob_++;
        const Job job{id, kRoot + QStringLiteral("/job/") + QString::number(id), unit, member};
        connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(job.path))));
        if (jobs_ == Jobs::held) {
            held_.push_back(job);
        } else {
            apply(member, unit);
            sendRemoved(job, QStringLiteral("done"), connection);
        }
        return true;
    }
    if (message.path().startsWith(kUnitPrefix) && member == QLatin1String("Get") && args.size() == 2) {
        bool ok = false;
        const size_t i = message.path().mid(kUnitPrefix.size()).toUInt(&ok);
        if (ok && i < units_.size()) {
            const QString property = args[1].toString();
            if (property == QLatin1String("MainPID")) {
                connection.send(message.createReply(QVariant::fromValue(QDBusVariant(units_[i].pid))));
                return true;
            }
            if (property == QLatin1String("ExecMainStatus")) {
                connection.send(message.createReply(QVariant::fromValue(QDBusVariant(units_[i].status))));
                return true;
            }
            if (property == QLatin1String("ExecMainCode")) {
                connection.send(message.createReply(QVariant::fromValue(QDBusVariant(units_[i].code))));
                return true;
            }
        }
    }
    connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"), member));
    return true;
}

FakeSystemdBus::FakeSystemdBus() {
    static int counter = 0;
    ++counter;
    clientName_ = QStringLiteral("fake-systemd-client-%1").arg(counter);
    serverName_ = QStringLiteral("fake-systemd-server-%1").arg(counter);
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) return;
    daemon_.start(daemon, {"--session", "--nofork", "--nopidfile", "--print-address=1"});
    if (!daemon_.waitForStarted(5000) || !waitUntil([&] { return daemon_.canReadLine(); })) return;
    const QString address = QString::fromUtf8(daemon_.readLine().trimmed());
    ready_ = QDBusConnection::connectToBus(address, clientName_).isConnected() &&
             QDBusConnection::connectToBus(address, serverName_).isConnected();
}

FakeSystemdBus::~FakeSystemdBus() {
    QDBusConnection(serverName_).unregisterObject(kRoot, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(clientName_);
    QDBusConnection::disconnectFromBus(serverName_);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        daemon_.waitForFinished(3000);
    }
}

bool FakeSystemdBus::serve() {
    QDBusConnection server(serverName_);
    return server.registerVirtualObject(kRoot, &manager_, QDBusConnection::SubPath) &&
           server.registerService(QStringLiteral("org.freedesktop.systemd1"));
}

}  // namespace velmora::test
