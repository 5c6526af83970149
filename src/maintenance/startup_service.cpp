#include "maintenance/startup_service.h"

#include <QPointer>

namespace velmora {

StartupService::StartupService(std::unique_ptr<StartupSource> source, QObject* parent)
    : QObject(parent),
      source_(std::move(source)),
      inbox_(new ThreadInbox(this)),
      worker_(QStringLiteral("com.tandrel.pelto.monitor.startup")) {}

StartupService::~StartupService() = default;

void StartupService::scan(const QString& language) {
    request({}, language);
}

void StartupService::removeLoginItem(const StartupItem& item, const QString& language) {
    if (!item.isLoginItem()) return;
    request(
        [item](StartupSource& s) -> std::optional<FailedRemoval> {
            if (std::optional<RemovalFailure> failure = s.removeLoginItem(item))
                return FailedRemoval{item.name, std::move(*failure)};
            return std::nullopt;
        },
        language);
}

void StartupService::request(std::function<std::optional<FailedRemoval>(StartupSource&)> action,
                             const QString& language) {
    ++pending_;
    emit changed();
    std::shared_ptr<StartupSource> source = source_;
    ThreadInbox* inbox = inbox_;
    QPointer<StartupService> self(this);
    worker_.post([source, inbox, self, language, action = std::move(action)] {
        StartupScan result;
        std::optional<FailedRemoval> failed;
        if (source) {
            if (action) failed = action(*source);
            result = source->scan(language);
        }
        inbox->post([self, result = std::move(result), failed = std::move(failed)]() mutable {
            if (!self) return;
            --self->pending_;
            self->items_ = std::move(result.items);
            self->needsPermission_ |= result.needsPermission;
            self->failedRemoval_ = std::move(failed);
            emit self->changed();
        });
    });
}

}  // namespace velmora
