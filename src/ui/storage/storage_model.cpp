#include "ui/storage/storage_model.h"

#include "core/localizer.h"
#include "maintenance/service_rules.h"

#include <algorithm>

namespace velmora {

ServicesPresentation presentServices(const std::vector<ServiceItem>& items, const QString& search,
                                     bool aggressive, bool reachable, const Localizer& loc) {
    ServicesPresentation p;
    p.aggressive = aggressive;
    p.unreachable = !reachable;
    p.modeText = loc.t(QString::fromLatin1(aggressive ? VL_KEY("stgStopModeAggressive") : VL_KEY("stgStopModeSafe")));
    const auto running = std::count_if(items.cbegin(), items.cend(), [](const ServiceItem& i) { return i.pid.has_value(); });
    size_t shown = 0;
    for (const ServiceItem& item : items) {
        if (!search.isEmpty() && !item.label.contains(search, Qt::CaseInsensitive)) continue;
        if (++shown > kMaxServiceRows) continue;
        ServiceRowView row;
        row.label = item.label;
        row.running = item.pid.has_value();
        if (item.pid)
            row.status = loc.t(VL_KEY("stgRunning"), *item.pid);
        else if (item.lastStatus != 0)
            row.status = loc.t(VL_KEY("stgStoppedStatus"), item.lastStatus);
        else
            row.status = loc.t(VL_KEY("stgStopped"));
        using Control = ServiceRowView::Control;
        row.control = isProtected(item, aggressive) ? Control::locked : row.running ? Control::stop : Control::start;
        row.stopIsRed = row.control == Control::stop && aggressive;
        p.rows.push_back(std::move(row));
    }
    p.countLine = loc.t(VL_KEY("stgServicesCount"), static_cast<qint64>(running), static_cast<qint64>(shown));
    if (shown > kMaxServiceRows) p.moreLine = loc.t(VL_KEY("stgMoreServices"), static_cast<qint64>(shown - kMaxServiceRows));
    return p;
}

QString kindText(const QString& kind, const Localizer& loc) {
    if (kind == QString::fromUtf8(StartupItem::loginItemKind)) return loc.t(VL_KEY("stgKindLogin"));
    if (kind == QString::fromUtf8(StartupItem::launchAgentKind)) return loc.t(VL_KEY("stgKindAgent"));
    return kind;
}

std::vector<StartupRowView> presentStartup(const std::vector<StartupItem>& items, const Localizer& loc) {
    std::vector<StartupRowView> rows;
    rows.reserve(items.size());
    for (const StartupItem& item : items) {
        StartupRowView row;
        row.name = item.name;
        row.path = item.path;
        row.detail = kindText(item.kind, loc);
        if (!item.path.isEmpty()) row.detail += QStringLiteral(", ") + item.path;
        row.revealable = !item.path.isEmpty();
        row.removable = item.isLoginItem();
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace velmora
