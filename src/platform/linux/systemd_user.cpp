#include "platform/linux/systemd_user.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QDir>
#include <QStandardPaths>

#include <csignal>

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
    QString path;  // the unit's object path
};

// ListUnits answers a(ssssssouso); only the name, load state and object path matter here.
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
        if (name.endsWith(kSuffix)) units.push_back({name, load, path.path()});
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

}  // namespace

SystemdUserManager::SystemdUserManager(QDBusConnection bus, QStringList userUnitDirs,
                                       std::chrono::milliseconds timeout)
    : bus_(std::move(bus)), userUnitDirs_(std::move(userUnitDirs)), timeoutMs_(static_cast<int>(timeout.count())) {
    for (QString& dir : userUnitDirs_)
        dir = QDir::cleanPath(dir) + QLatin1Char('/');
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
    std::vector<std::pair<QDBusPendingCall, QDBusPendingCall>> calls;
    calls.reserve(units.size());
    for (const Unit& u : units)
        calls.emplace_back(ask(u, QStringLiteral("MainPID")), ask(u, QStringLiteral("ExecMainStatus")));

    std::vector<ServiceItem> items;
    items.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        ServiceItem item;
        item.label = units[i].name;
        if (const auto pid = integerProperty(calls[i].first); pid && *pid > 0 && *pid <= INT32_MAX)
            item.pid = static_cast<int32_t>(*pid);
        if (const auto status = integerProperty(calls[i].second); status && *status >= INT32_MIN &&
                                                                  *status <= INT32_MAX)
            item.lastStatus = static_cast<int32_t>(*status);
        const auto own = userOwned.constFind(item.label);
        const auto made = own != userOwned.cend() ? own : userOwned.constFind(templateName(item.label));
        item.system = made == userOwned.cend() || !made.value();
        items.push_back(std::move(item));
    }
    return items;
}

void SystemdUserManager::callManager(const QString& method, const QVariantList& args) {
    if (!bus_.isConnected()) return;
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kManager, method);
    m.setArguments(args);
    bus_.call(m, QDBus::Block, timeoutMs_);  // refusals show in the next listing
}

void SystemdUserManager::stop(const QString& label) {
    callManager(QStringLiteral("StopUnit"), {label, QStringLiteral("replace")});
}

void SystemdUserManager::kill(const QString& label) {
    callManager(QStringLiteral("KillUnit"), {label, QStringLiteral("all"), static_cast<int>(SIGKILL)});
}

void SystemdUserManager::start(const QString& label) {
    callManager(QStringLiteral("StartUnit"), {label, QStringLiteral("replace")});
}

}  // namespace velmora::platform
