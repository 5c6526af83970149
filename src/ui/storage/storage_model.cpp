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
        else if (item.lastSignaled)
            row.status = loc.t(VL_KEY("stgStoppedSignal"), item.lastStatus);
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

namespace {

// A job result of the systemd manager as the user reads it.
QString jobResultText(const QString& result, const Localizer& loc) {
    if (result == u"failed") return loc.t(VL_KEY("stgJobResultFailed"));
    if (result == u"timeout") return loc.t(VL_KEY("stgJobResultTimeout"));
    if (result == u"canceled") return loc.t(VL_KEY("stgJobResultCanceled"));
    if (result == u"dependency") return loc.t(VL_KEY("stgJobResultDependency"));
    if (result == u"skipped") return loc.t(VL_KEY("stgJobResultSkipped"));
    if (result == u"assert") return loc.t(VL_KEY("stgJobResultAssert"));
    return loc.t(VL_KEY("stgJobResultOther"), result);
}

}  // namespace

QString serviceNoticeText(const ServicesService::Notice& notice, const Localizer& loc) {
    using Kind = platform::ServiceOutcome::Kind;
    const platform::ServiceOutcome& o = notice.outcome;
    switch (o.kind) {
        case Kind::done: return {};
        case Kind::unfinished:
            return notice.stopping ? loc.t(VL_KEY("stgStopPending"), notice.label)
                                   : loc.t(VL_KEY("stgStartPending"), notice.label);
        case Kind::failed:
        case Kind::refused:
        case Kind::noAnswer: break;
    }
    const QString why = o.kind == Kind::failed    ? jobResultText(o.detail, loc)
                        : o.kind == Kind::refused ? loc.t(VL_KEY("stgJobRefused"), o.detail)
                                                  : loc.t(VL_KEY("stgJobNoAnswer"));
    return notice.stopping ? loc.t(VL_KEY("stgStopFailed"), notice.label, why)
                           : loc.t(VL_KEY("stgStartFailed"), notice.label, why);
}

QString serviceControlName(const ServiceRowView& row, const Localizer& loc) {
    using Control = ServiceRowView::Control;
    if (row.control == Control::locked) return loc.t(VL_KEY("stgServiceLockedA11y"), row.label, row.status);
    const QString control = loc.t(QString::fromLatin1(row.control == Control::stop ? VL_KEY("actStop") : VL_KEY("actStart")));
    return loc.t(VL_KEY("stgServiceControlA11y"), control, row.label, row.status);
}

QString startupReasonText(const StartupItem& item, const Localizer& loc) {
    using State = StartupItem::State;
    switch (item.state) {
        case State::starts: return {};
        case State::hidden: return loc.t(VL_KEY("stgOffHidden"));
        case State::switchedOff: return loc.t(VL_KEY("stgOffSwitchedOff"));
        case State::otherDesktop: return loc.t(VL_KEY("stgOffOtherDesktop"));
        case State::noCommand: return loc.t(VL_KEY("stgOffNoCommand"));
        case State::programMissing: return loc.t(VL_KEY("stgOffProgramMissing"), item.stateDetail);
        case State::masked: return loc.t(VL_KEY("stgOffMasked"));
        case State::disabled: return loc.t(VL_KEY("stgOffDisabled"));
    }
    return {};
}

QString removalFailureText(const FailedRemoval& failed, const Localizer& loc) {
    using Reason = RemovalFailure::Reason;
    const QString& name = failed.name;
    const QString& path = failed.failure.path;
    switch (failed.failure.reason) {
        case Reason::unparsable: return loc.t(VL_KEY("stgRemoveUnparsable"), name, path);
        case Reason::linkNotOwned: return loc.t(VL_KEY("stgRemoveLinkNotOwned"), name, path);
        case Reason::danglingLink: return loc.t(VL_KEY("stgRemoveDanglingLink"), name, path);
        case Reason::folderInTheWay: return loc.t(VL_KEY("stgRemoveFolderInTheWay"), name, path);
        case Reason::changed: return loc.t(VL_KEY("stgRemoveChanged"), name, path);
        case Reason::unreadable: return loc.t(VL_KEY("stgRemoveUnreadable"), name, path);
        case Reason::unwritable: return loc.t(VL_KEY("stgRemoveUnwritable"), name, path);
    }
    return {};
}

std::vector<StartupRowView> presentStartup(const std::vector<StartupItem>& items, const Localizer& loc,
                                           bool aggressive) {
    std::vector<StartupRowView> rows;
    rows.reserve(items.size());
    for (const StartupItem& item : items) {
        StartupRowView row;
        row.name = item.name;
        row.path = item.path;
        row.detail = kindText(item.kind, loc);
        if (!item.path.isEmpty()) row.detail += QStringLiteral(", ") + item.path;
        row.starts = item.starts();
        row.reason = startupReasonText(item, loc);
        row.revealable = !item.path.isEmpty();
        row.removable = item.isLoginItem() && item.state != StartupItem::State::hidden;
        row.locked = item.system && !aggressive;
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace velmora
