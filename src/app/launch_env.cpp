#include "app/launch_env.h"

#include <algorithm>

namespace velmora {

LaunchRequests parseLaunchRequests(const QProcessEnvironment& env) {
    auto on = [&env](const char* name) { return env.value(QLatin1String(name)) == QLatin1String("1"); };
    LaunchRequests r{on("VL_OPEN_DASHBOARD"), on("VL_OPEN_STORAGE"), on("VL_OPEN_SETTINGS"),
                     env.value(QStringLiteral("VL_OPEN_ANALYSIS"))};
    const QString pid = env.value(QStringLiteral("VL_OPEN_DETAIL"));
    const bool digits = !pid.isEmpty() && std::all_of(pid.begin(), pid.end(), [](QChar c) { return c.isDigit() && c.unicode() < 128; });
    bool ok = false;
    const int value = digits ? pid.toInt(&ok) : 0;
    if (ok && value > 0) r.openDetail = value;
    return r;
}

}  // namespace velmora
