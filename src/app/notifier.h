#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace velmora {

// One message for the desktop's notification service.
struct UserNotification {
    QString id;  // fresh random identifier per message
    QString title;
    QString body;
    bool defaultSound = true;
};

// The desktop's notification service, behind an interface so alerts can be tested without one.
class Notifier {
  public:
    virtual ~Notifier() = default;
    // Asks whether messages (with sound) may be shown. `answer` is called once, on the thread
    // that asked, and not at all once the notifier is destroyed; a missing or refusing
    // service answers false.
    virtual void requestAuthorization(std::function<void(bool granted)> answer) = 0;
    // Delivers at once; failures are dropped.
    virtual void post(const UserNotification& notification) = 0;
};

// The notification service of this platform: the freedesktop one over the session bus on
// Linux, the user-notification centre on macOS.
std::unique_ptr<Notifier> makeSystemNotifier(const QString& desktopEntry);

}  // namespace velmora
