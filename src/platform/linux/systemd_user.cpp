#include "platform/linux/systemd_user.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QHash>
#include <QStandardPaths>
#include <QThread>

#include <condition_variable>
#include <csignal>
#include <mutex>

namespace velmora::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.systemd1");
const QString kPath = QStringLiteral("/org/freedesktop/systemd1");
const QString kManager = QStringLiteral("org.freedesktop.systemd1.Manager");
const QString kServiceIface = QStringLiteral("org.freedesktop.systemd1.Service");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kSuffix = QStringLiteral(".service");

struct Unit {
    QString name;
    QString loadState;
    QString activeState;
    QString path;  // the unit's object path
};

// ListUnits answers a(ssssssouso); only the name, load and active states and object path
// matter here.
std::vector<Unit> readUnits(const QVariant& reply) {
    std::vector<Unit> units;
    if (!reply.canConvert<QDBusArgument>()) return units;
    const QDBusArgument arg = reply.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a(ssssssouso)")) return units;
    arg.beginArray();
    while (!arg.atEnd()) {
        QString name, description, load, active, sub, following, jobType;
        QDBusObjectPath path, jobPath;
        uint jobId = 0;
        arg.beginStructure();
        arg >> name >> description >> load >> active >> sub >> following >> path >> jobId >> jobType >> jobPath;
        arg.endStructure();
        if (name.endsWith(kSuffix)) units.push_back({name, load, active, path.path()});
    }
    arg.endArray();
    return units;
}

// The unit file an instance comes from: "getty@tty1.service" is made from "getty@.service".
QString templateName(const QString& unit) {
    const qsizetype at = unit.indexOf(QLatin1Char('@'));
    if (at < 0) return {};
    return unit.left(at + 1) + kSuffix;
}

std::optional<qint64> integerProperty(QDBusPendingCall& call) {
    call.waitForFinished();
    const QDBusMessage reply = call.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const QVariant v = reply.arguments().constFirst().value<QDBusVariant>().variant();
    bool ok = false;
    const qint64 n = v.toLongLong(&ok);
    if (!ok || (v.metaType().id() != QMetaType::UInt && v.metaType().id() != QMetaType::Int))
        return std::nullopt;
    return n;
}

const char* const kJobRemovedSlot = SLOT(jobRemoved(uint, QDBusObjectPath, QString, QString));

// Errors that mean nobody answered, as opposed to a manager that said no: no reply, no bus,
// or no manager on it (the bus failing to start one counts as none).
bool isSilence(const QDBusError& error) {
    if (error.name().startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn.")) ||
        error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return true;
    switch (error.type()) {
        case QDBusError::NoReply:
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
        case QDBusError::Disconnected:
        case QDBusError::NoServer:
        case QDBusError::ServiceUnknown:
            return true;
        default:
            return false;
    }
}

}  // namespace

// Keeps the results of the jobs that ended since the last clear(), for a caller on another
// thread to wait for.
class JobWatch : public QObject {
    Q_OBJECT
  public:
    void clear() {
        std::lock_guard g(lock_);
        results_.clear();
    }
    // The result of `job` ("done", "failed", ...), once it has ended; absent when `wait` passes.
    std::optional<QString> waitFor(const QString& job, std::chrono::milliseconds wait) {
        std::unique_lock g(lock_);
        if (!ended_.wait_for(g, wait, [&] { return results_.contains(job); })) return std::nullopt;
        return results_.take(job);
    }

  public slots:
    void jobRemoved(uint, const QDBusObjectPath& job, const QString&, const QString& result) {
        {
            std::lock_guard g(lock_);
            // Other clients' jobs end too; only the newest few can be the one waited for.
            if (results_.size() >= 256) results_.clear();
            results_.insert(job.path(), result);
        }
        ended_.notify_all();
    }

  private:
    std::mutex lock_;
    std::condition_variable ended_;
    QHash<QString, QString> results_;
};

SystemdUserManager::SystemdUserManager(QDBusConnection bus, QStringList userUnitDirs,
                                       std::chrono::milliseconds timeout, std::chrono::milliseconds jobWait)
    : bus_(std::move(bus)),
      userUnitDirs_(std::move(userUnitDirs)),
      timeoutMs_(static_cast<int>(timeout.count())),
      jobWait_(jobWait) {
    for (QString& dir : userUnitDirs_)
        dir = QDir::cleanPath(dir) + QLatin1Char('/');
}

SystemdUserManager::~SystemdUserManager() {
    if (!listener_) return;
    if (watching_) {
        bus_.disconnect(kService, kPath, kManager, QStringLiteral("JobRemoved"), watch_.get(), kJobRemovedSlot);
        // Sent without waiting: the manager stops broadcasting its signals for this client.
        bus_.send(QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Unsubscribe")));
    }
    listener_->quit();
    listener_->wait();
}

bool SystemdUserManager::watchJobs() {
    if (listener_) return watching_;
    listener_ = std::make_unique<QThread>();
    listener_->setObjectName(QStringLiteral("com.tandrel.velmora.systemd-jobs"));
    watch_ = std::make_unique<JobWatch>();
    watch_->moveToThread(listener_.get());
    listener_->start();
    // The slot's parameter types are looked up by name, which finds only registered types.
    qRegisterMetaType<QDBusObjectPath>();
    watching_ = bus_.connect(kService, kPath, kManager, QStringLiteral("JobRemoved"), watch_.get(), kJobRemovedSlot);
    // The manager sends its signals only once a client subscribed. Queued before the first
    // request on the same connection, so the manager reads it first; no need to wait.
    if (watching_) bus_.send(QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Subscribe")));
    return watching_;
}

QStringList SystemdUserManager::defaultUserUnitDirs() {
    const QString unitDir = QStringLiteral("/systemd/user");
    return {QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + unitDir,
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + unitDir};
}

QStringList SystemdUserManager::unitFiles() {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("ListUnitFiles"));
    const QDBusMessage reply = bus_.call(call, QDBus::Block, timeoutMs_);
    QStringList paths;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return paths;
    const QVariant v = reply.arguments().constFirst();
    if (!v.canConvert<QDBusArgument>()) return paths;
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a(ss)")) return paths;
    arg.beginArray();
    while (!arg.atEnd()) {
        QString path, state;
        arg.beginStructure();
        arg >> path >> state;
        arg.endStructure();
        paths.push_back(path);
    }
    arg.endArray();
    return paths;
}

std::optional<std::vector<ServiceItem>> SystemdUserManager::list() {
    if (!bus_.isConnected()) return std::nullopt;
    const QDBusMessage reply = bus_.call(
        QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("ListUnits")), QDBus::Block,
        timeoutMs_);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    std::vector<Unit> units = readUnits(reply.arguments().constFirst());
    std::erase_if(units, [](const Unit& u) { return u.loadState != QLatin1String("loaded"); });

    // Which units the user wrote: their files lie in the user's own folders.
    QHash<QString, bool> userOwned;
    for (const QString& path : unitFiles()) {
        const QString name = path.section(QLatin1Char('/'), -1);
        const bool mine = std::any_of(userUnitDirs_.cbegin(), userUnitDirs_.cend(),
                                      [&](const QString& dir) { return path.startsWith(dir); });
        // A file earlier in the search path wins; the manager lists the winner only.
        if (!userOwned.contains(name)) userOwned.insert(name, mine);
    }

    // Every property request goes out before the first answer is awaited, so a long list
    // costs one round trip rather than one per unit.
    auto ask = [&](const Unit& u, const QString& property) {
        QDBusMessage m = QDBusMessage::createMethodCall(kService, u.path, kProperties, QStringLiteral("Get"));
        m << kServiceIface << property;
        return bus_.asyncCall(m, timeoutMs_);
    };
    // Only what the row shows is asked: an active unit's main process, a stopped unit's end
    // (its status and whether that was an exit or a signal); a unit on its way asks both.
    struct Asked {
        std::optional<QDBusPendingCall> pid, status, code;
    };
    std::vector<Asked> calls;
    calls.reserve(units.size());
    for (const Unit& u : units) {
        const bool active = u.activeState == QLatin1String("active");
        const bool stopped = u.activeState == QLatin1String("inactive") || u.activeState == QLatin1String("failed");
        Asked a;
        if (!stopped) a.pid = ask(u, QStringLiteral("MainPID"));
        if (!active) {
            a.status = ask(u, QStringLiteral("ExecMainStatus"));
            a.code = ask(u, QStringLiteral("ExecMainCode"));
        }
        calls.push_back(std::move(a));
    }

    std::vector<ServiceItem> items;
    items.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        ServiceItem item;
        item.label = units[i].name;
        Asked& a = calls[i];
        if (const auto pid = a.pid ? integerProperty(*a.pid) : std::nullopt; pid && *pid > 0 && *pid <= INT32_MAX)
            item.pid = static_cast<int32_t>(*pid);
        if (const auto status = a.status ? integerProperty(*a.status) : std::nullopt;
            status && *status >= INT32_MIN && *status <= INT32_MAX)
            item.lastStatus = static_cast<int32_t>(*status);
        // The status is an exit code or a signal number by the kind of the process's end.
        if (const auto code = a.code ? integerProperty(*a.code) : std::nullopt)
            item.lastSignaled = *code == CLD_KILLED || *code == CLD_DUMPED;
        const auto own = userOwned.constFind(item.label);
        const auto made = own != userOwned.cend() ? own : userOwned.constFind(templateName(item.label));
        item.system = made == userOwned.cend() || !made.value();
        items.push_back(std::move(item));
    }
    return items;
}

ServiceOutcome SystemdUserManager::runJob(const QString& method, const QString& label) {
    using Kind = ServiceOutcome::Kind;
    if (!bus_.isConnected()) return {Kind::noAnswer, {}};
    const bool watching = watchJobs();
    // Jobs may end before the call returns their path: what ends from here on is kept.
    watch_->clear();
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kManager, method);
    m.setArguments({label, QStringLiteral("replace")});
    const QDBusMessage reply = bus_.call(m, QDBus::Block, timeoutMs_);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QDBusError error(reply);
        if (isSilence(error)) return {Kind::noAnswer, {}};
        return {Kind::refused, error.message().isEmpty() ? error.name() : error.message()};
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty() || !watching)
        return {};  // no job to follow: the listing tells
    const QString job = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (job.isEmpty()) return {};
    const std::optional<QString> result = watch_->waitFor(job, jobWait_);
    if (!result) return {Kind::unfinished, {}};
    if (*result == QLatin1String("done")) return {};
    return {Kind::failed, *result};
}

ServiceOutcome SystemdUserManager::stop(const QString& label) {
    return runJob(QStringLiteral("StopUnit"), label);
}

void SystemdUserManager::kill(const QString& label) {
    if (!bus_.isConnected()) return;
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("KillUnit"));
    m.setArguments({label, QStringLiteral("all"), static_cast<int>(SIGKILL)});
    bus_.call(m, QDBus::Block, timeoutMs_);  // the stop that follows tells how it went
}

ServiceOutcome SystemdUserManager::start(const QString& label) {
    return runJob(QStringLiteral("StartUnit"), label);
}

}  // namespace velmora::platform

#include "systemd_user.moc"
