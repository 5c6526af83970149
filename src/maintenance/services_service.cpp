#include "maintenance/services_service.h"

#include "maintenance/service_rules.h"

#include <QPointer>

namespace velmora {

namespace {

std::optional<ServicesService::Notice> noticeOf(const QString& label, bool stopping, platform::ServiceOutcome outcome) {
    if (outcome.kind == platform::ServiceOutcome::Kind::done) return std::nullopt;
    return ServicesService::Notice{label, stopping, std::move(outcome)};
}

}  // namespace

ServicesService::ServicesService(std::shared_ptr<platform::ServiceManager> manager, QObject* parent)
    : QObject(parent),
      manager_(std::move(manager)),
      inbox_(new ThreadInbox(this)),
      worker_(QStringLiteral("com.tandrel.pelto.monitor.services")) {}

ServicesService::~ServicesService() = default;

void ServicesService::scan() {
    request({});
}

void ServicesService::stop(const QString& label, bool force) {
    if (isOwnService(label)) return;
    request([label, force](platform::ServiceManager& m) {
        if (force) m.kill(label);
        return noticeOf(label, true, m.stop(label));
    });
}

void ServicesService::start(const QString& label) {
    if (isOwnService(label)) return;
    request([label](platform::ServiceManager& m) { return noticeOf(label, false, m.start(label)); });
}

void ServicesService::request(std::function<std::optional<Notice>(platform::ServiceManager&)> action) {
    ++pending_;
    emit changed();
    std::shared_ptr<platform::ServiceManager> manager = manager_;
    ThreadInbox* inbox = inbox_;
    QPointer<ServicesService> self(this);
    worker_.post([manager, inbox, self, action = std::move(action)] {
        std::optional<std::vector<ServiceItem>> list;
        std::optional<Notice> notice;
        if (manager) {
            // The manager returns once the job is over, so this listing shows its outcome.
            if (action) notice = action(*manager);
            list = manager->list();
            if (list) sortServices(*list);
        }
        inbox->post([self, list = std::move(list), notice = std::move(notice)]() mutable {
            if (self) self->publish(std::move(list), std::move(notice));
        });
    });
}

void ServicesService::publish(std::optional<std::vector<ServiceItem>> list, std::optional<Notice> notice) {
    --pending_;
    notice_ = std::move(notice);
    reachable_ = list.has_value();
    items_ = list ? std::move(*list) : std::vector<ServiceItem>{};
    emit changed();
}

}  // namespace velmora
