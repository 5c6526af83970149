#include "app/launch_env.h"

namespace velmora {

LaunchRequests parseLaunchRequests(const QProcessEnvironment& env) {
    auto on = [&env](const char* name) { return env.value(QLatin1String(name)) == QLatin1String("1"); };
    return {on("VL_OPEN_DASHBOARD"), on("VL_OPEN_STORAGE"), on("VL_OPEN_SETTINGS"),
            env.value(QStringLiteral("VL_OPEN_ANALYSIS"))};
}

}  // namespace velmora
