#pragma once

#include "maintenance/services_service.h"
#include "maintenance/startup_service.h"
#include "platform/service_manager.h"

#include <QString>

#include <vector>

namespace velmora {

class Localizer;

// What the storage window shows, derived from the two lists, the search text and the stop
// mode alone, so each rule is checked without widgets.

inline constexpr size_t kMaxServiceRows = 300;

struct ServiceRowView {
    enum class Control { locked, stop, start };
    QString label;
    QString status;  // "Running · PID 12", "Stopped · last exit 3", "Stopped · ended by signal 15", "Stopped"
    bool running = false;
    Control control = Control::locked;
    bool stopIsRed = false;  // the aggressive mode's stop button
};

struct ServicesPresentation {
    std::vector<ServiceRowView> rows;  // the first rows of the filtered list
    QString countLine;                 // running over the whole list, shown after filtering
    QString moreLine;                  // empty unless the filtered list has more rows
    QString modeText;
    bool aggressive = false;
    bool unreachable = false;
};

// `search` keeps the items whose label contains it, ignoring case.
ServicesPresentation presentServices(const std::vector<ServiceItem>& items, const QString& search,
                                     bool aggressive, bool reachable, const Localizer& loc);

// What a failed stop or start says: the service, what was asked and the manager's answer.
QString serviceNoticeText(const ServicesService::Notice& notice, const Localizer& loc);

// The name a screen reader gives a row's Stop or Start control (or its lock).
QString serviceControlName(const ServiceRowView& row, const Localizer& loc);

struct StartupRowView {
    QString name;
    QString detail;  // the kind in the interface language, then ", " and the path when known
    QString path;
    bool starts = true;  // drawn greyed, with `reason` below, when false
    QString reason;      // why it won't start; empty when it starts
    bool revealable = false;
    bool removable = false;  // login items that are not switched off already
    bool locked = false;     // the system's own unit, in the safe stop mode
};

// `aggressive`: the stop mode; the system's units show a lock in the safe one.
std::vector<StartupRowView> presentStartup(const std::vector<StartupItem>& items, const Localizer& loc,
                                           bool aggressive = false);

// Why an item won't start, in the interface language; empty when it starts.
QString startupReasonText(const StartupItem& item, const Localizer& loc);

// What a removal that did nothing says: the item, and why its file was left alone.
QString removalFailureText(const FailedRemoval& failed, const Localizer& loc);

// The kind of a startup item as the user reads it.
QString kindText(const QString& kind, const Localizer& loc);

}  // namespace velmora
