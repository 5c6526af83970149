#include "maintenance/services_service.h"

#include "maintenance/service_rules.h"

#include <QPointer>

namespace velmora {

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
        m.stop(label);
    });
}

void ServicesService::start(const QString& label) {
    if (isOwnService(label)) return;
    request([label](platform::ServiceManager& m) { m.start(label); });
}

void ServicesService::request(std::function<void(platform::ServiceManager&)> action) {
    ++pending_;
    emit changed();
    std::shared_ptr<platform::ServiceManager> manager = manager_;
    ThreadInbox* inbox = inbox_;
    QPointer<ServicesService> self(this);
    worker_.post([manager, inbox, self, action = std::move(action)] {
        std::optional<std::vector<ServiceItem>> list;
        if (manager) {
            if (action) action(*manager);
            list = manager->list();
            if (list) sortServices(*list);
        }
        inbox->post([self, list = std::move(list)]() mutable {
            if (self) self->publish(std::move(list));
        });
    });
}

void ServicesService::publish(std::optional<std::vector<ServiceItem>> list) {
    --pending_;
    reachable_ = list.has_value();
    items_ = list ? std::move(*list) : std::vector<ServiceItem>{};
    emit changed();
}

}  // namespace velmora
