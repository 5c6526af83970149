#pragma once

#include "app/notifier.h"

#include <QDBusConnection>
#include <QObject>

#include <optional>
#include <vector>

namespace velmora {

// Notifications through org.freedesktop.Notifications. Calls are asynchronous, so a slow or
// missing server never blocks the GUI thread.
class DBusNotifier : public QObject, public Notifier {
    Q_OBJECT
  public:
    static constexpr int kTimeoutMs = 5000;

    DBusNotifier(QDBusConnection bus, QString appName, QString desktopEntry, QObject* parent = nullptr);

    // Granted when a server answers the capabilities call; refused when no server owns the
    // name, the call fails or it times out.
    void requestAuthorization(std::function<void(bool granted)> answer) override;
    // A server that renders markup in bodies gets the body escaped, so "<", ">" and "&" in
    // a process name show as they are. Its capabilities are asked once: posts made before
    // the first answer wait for it.
    void post(const UserNotification& notification) override;

    // The sound hint asks the server for its default message sound.
    static constexpr const char* kDefaultSoundName = "message-new-instant";

  private:
    void askCapabilities(std::function<void(bool answered)> then);
    void send(const UserNotification& notification);

    QDBusConnection bus_;
    QString appName_;
    QString desktopEntry_;
    std::optional<bool> bodyMarkup_;  // known once a server answered the capabilities call
    bool asking_ = false;             // a capabilities call for waiting posts is under way
    std::vector<UserNotification> waiting_;
};

}  // namespace velmora
