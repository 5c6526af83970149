#include "app/alert_manager.h"

#include "core/localizer.h"

#include <QPointer>
#include <QUuid>

#include <cmath>

namespace velmora {

namespace {

// The value truncated toward zero for a message; out-of-range or missing readings give 0
// instead of an undefined conversion.
long long integerPart(double v) {
    if (!std::isfinite(v) || std::fabs(v) >= 9.0e15) return 0;
    return static_cast<long long>(std::trunc(v));
}

}  // namespace

AlertManager::AlertManager(AppSettings& settings, Localizer& localizer, std::unique_ptr<Notifier> notifier,
                           QString desktopEntry, Clock clock, QObject* parent)
    : QObject(parent),
      settings_(settings),
      loc_(localizer),
      notifier_(std::move(notifier)),
      desktopEntry_(std::move(desktopEntry)),
      clock_(std::move(clock)) {}

AlertManager::~AlertManager() = default;

void AlertManager::requestAuthorization() {
    if (desktopEntry_.isEmpty() || !notifier_) return;
    // The answer may come after this manager is gone.
    QPointer<AlertManager> self(this);
    notifier_->requestAuthorization([self](bool granted) {
        if (!self) return;
        self->authorized_ = granted;
        emit self->authorizationChanged(granted);
    });
}

void AlertManager::consider(const Snapshot& snapshot) {
    if (!settings_.alertsEnabled()) return;
    if (desktopEntry_.isEmpty()) return;
    const bool trigger =
        snapshot.cpuTotal >= settings_.cpuThreshold() || snapshot.severity() == Severity::critical;
    if (!trigger) return;
    const auto now = clock_();
    if (lastAlert_ && now - *lastAlert_ < std::chrono::duration<double>(cooldownSeconds)) return;
    lastAlert_ = now;
    post(snapshot);
}

UserNotification AlertManager::message(const Snapshot& s) const {
    UserNotification n;
    n.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    n.title = loc_.t("alHighLoad", integerPart(s.cpuTotal));
    if (!s.processes.empty()) {
        const ProcInfo& top = s.processes.front();
        n.body = loc_.t("alTop", top.name, integerPart(top.cpu));
        if (s.memPercent >= 85) n.body += loc_.t("alMemSuffix", integerPart(s.memPercent));
    } else {
        n.body = loc_.t("alHighLoadBody");
    }
    n.defaultSound = true;
    return n;
}

void AlertManager::post(const Snapshot& snapshot) {
    if (notifier_) notifier_->post(message(snapshot));
}

}  // namespace velmora
