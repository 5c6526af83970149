#pragma once

#include <QProcessEnvironment>

namespace velmora {

// Windows to open right after launch, from "VL_OPEN_DASHBOARD", "VL_OPEN_STORAGE" and
// "VL_OPEN_SETTINGS". Only the exact value "1" counts; "true", " 1" or "yes" are ignored.
struct LaunchRequests {
    bool openDashboard = false;
    bool openStorage = false;
    bool openSettings = false;
    bool operator==(const LaunchRequests&) const = default;
};

LaunchRequests parseLaunchRequests(const QProcessEnvironment& env);

}  // namespace velmora
