#pragma once

#include <QProcessEnvironment>

#include <cstdint>

namespace velmora {

// Windows to open right after launch, from "VL_OPEN_DASHBOARD", "VL_OPEN_STORAGE" and
// "VL_OPEN_SETTINGS". Only the exact value "1" counts; "true", " 1" or "yes" are ignored.
// "VL_OPEN_ANALYSIS" names a metric ("cpu", "memory", "disk", "network", "gpu") whose
// analysis window opens; anything else opens nothing. "VL_OPEN_DETAIL" names a process id
// (decimal digits only, above zero) whose detail window opens.
struct LaunchRequests {
    bool openDashboard = false;
    bool openStorage = false;
    bool openSettings = false;
    QString openAnalysis;
    int32_t openDetail = 0;  // none
    bool operator==(const LaunchRequests&) const = default;
};

LaunchRequests parseLaunchRequests(const QProcessEnvironment& env);

}  // namespace velmora
