#pragma once

#include "app/notifier.h"

#include <QDBusConnection>
#include <QObject>

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
    void post(const UserNotification& notification) override;

    // The sound hint asks the server for its default message sound.
    static constexpr const char* kDefaultSoundName = "message-new-instant";

  private:
    QDBusConnection bus_;
    QString appName_;
    QString desktopEntry_;
};

}  // namespace velmora
