#pragma once

#include "maintenance/startup_item.h"
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
    QString status;  // "Running · PID 12", "Stopped · last exit 3", "Stopped"
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

struct StartupRowView {
    QString name;
    QString detail;  // the kind in the interface language, then ", " and the path when known
    QString path;
    bool revealable = false;
    bool removable = false;  // login items only
};

std::vector<StartupRowView> presentStartup(const std::vector<StartupItem>& items, const Localizer& loc);

// The kind of a startup item as the user reads it.
QString kindText(const QString& kind, const Localizer& loc);

}  // namespace velmora
