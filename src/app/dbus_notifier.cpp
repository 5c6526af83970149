#include "app/dbus_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

namespace velmora {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
}  // namespace

DBusNotifier::DBusNotifier(QDBusConnection bus, QString appName, QString desktopEntry, QObject* parent)
    : QObject(parent),
      bus_(std::move(bus)),
      appName_(std::move(appName)),
      desktopEntry_(std::move(desktopEntry)) {}

void DBusNotifier::requestAuthorization(std::function<void(bool)> answer) {
    if (!bus_.isConnected()) {
        if (answer) answer(false);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [answer = std::move(answer)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QStringList> reply = *w;
                if (answer) answer(!reply.isError());
            });
}

void DBusNotifier::post(const UserNotification& n) {
    if (!bus_.isConnected()) return;
    QVariantMap hints;
    if (n.defaultSound) hints.insert(QStringLiteral("sound-name"), QString::fromLatin1(kDefaultSoundName));
    if (!desktopEntry_.isEmpty()) hints.insert(QStringLiteral("desktop-entry"), desktopEntry_);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // replaces_id 0: every alert is a new message; the server assigns its own number.
    call << appName_ << 0u << (desktopEntry_.isEmpty() ? QString() : desktopEntry_) << n.title << n.body
         << QStringList() << hints << -1;
    // Delivery errors are ignored; the watcher only keeps the reply from leaking.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
}

}  // namespace velmora
