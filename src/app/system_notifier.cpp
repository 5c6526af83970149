#include "app/dbus_notifier.h"
#include "app/notifier.h"
#include "platform/app_services.h"

#include <memory>

namespace velmora {

namespace {

// The platform's own notification centre. Answers that arrive after this notifier is gone
// are dropped through the shared flag.
class CentreNotifier : public Notifier {
  public:
    ~CentreNotifier() override { *alive_ = false; }
    void requestAuthorization(std::function<void(bool)> answer) override {
        platform::requestUserNotificationPermission(
            [alive = alive_, answer = std::move(answer)](bool granted) {
                if (*alive && answer) answer(granted);
            });
    }
    void post(const UserNotification& n) override {
        platform::postUserNotification(n.id.toStdString(), n.title.toStdString(), n.body.toStdString());
    }

  private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace

std::unique_ptr<Notifier> makeSystemNotifier(const QString& desktopEntry) {
    if (platform::hasUserNotificationCentre()) return std::make_unique<CentreNotifier>();
    return std::make_unique<DBusNotifier>(QDBusConnection::sessionBus(), QStringLiteral("Velmora"),
                                          desktopEntry);
}

}  // namespace velmora
