#pragma once

#include "platform/service_manager.h"

#include <QString>

#include <vector>

namespace velmora {

// Running services first, then stopped ones; each group by label in code-point order
// (case-sensitive, so "Z" comes before "a"). Stable.
void sortServices(std::vector<ServiceItem>& items);

// The program's own services: never offered a stop or start control.
bool isOwnService(const QString& label);

// Whether the window offers no stop or start control for the service: the program's own
// services always, the system's own services unless the stop mode is aggressive.
bool isProtected(const ServiceItem& item, bool aggressiveStop);

// The service manager's tool output on macOS ("launchctl list"): a header line, then one line
// per job of pid, last status and label separated by tabs. Labels keep any tab inside them.
// Sorted; lines with fewer than three fields are skipped.
std::vector<ServiceItem> parseLaunchctlList(const QString& output);

}  // namespace velmora
