#include "app/dbus_notifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

#include <utility>

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
    askCapabilities(std::move(answer));
}

void DBusNotifier::askCapabilities(std::function<void(bool)> then) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    // The watcher is this notifier's child: no answer arrives once the notifier is gone.
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, then = std::move(then)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QStringList> reply = *w;
                if (!reply.isError()) bodyMarkup_ = reply.value().contains(QStringLiteral("body-markup"));
                if (then) then(!reply.isError());
            });
}

void DBusNotifier::post(const UserNotification& n) {
    if (!bus_.isConnected()) return;
    if (bodyMarkup_) {
        send(n);
        return;
    }
    waiting_.push_back(n);
    if (asking_) return;
    asking_ = true;
    askCapabilities([this](bool) {
        asking_ = false;
        // Without an answer the server is likely gone; the posts go out as they are and
        // the next post asks again.
        for (const UserNotification& w : std::exchange(waiting_, {}))
            send(w);
    });
}

void DBusNotifier::send(const UserNotification& n) {
    QVariantMap hints;
    if (n.defaultSound) hints.insert(QStringLiteral("sound-name"), QString::fromLatin1(kDefaultSoundName));
    if (!desktopEntry_.isEmpty()) hints.insert(QStringLiteral("desktop-entry"), desktopEntry_);
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(1));
    const QString body = bodyMarkup_.value_or(false) ? n.body.toHtmlEscaped() : n.body;

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    // replaces_id 0: every alert is a new message; the server assigns its own number.
    call << appName_ << 0u << (desktopEntry_.isEmpty() ? QString() : desktopEntry_) << n.title << body
         << QStringList() << hints << -1;
    // Delivery errors are ignored; the watcher only keeps the reply from leaking.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, watcher, &QObject::deleteLater);
}

}  // namespace velmora
