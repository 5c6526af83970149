#include "core/snapshot.h"

#include <algorithm>

namespace velmora {

Severity Snapshot::severity() const {
    int s = 0;
    if (cpuTotal >= 90)
        s = 3;
    else if (cpuTotal >= 70)
        s = 2;
    else if (cpuTotal >= 50)
        s = 1;

    if (memPercent >= 92)
        s = 3;
    else if (memPercent >= 85)
        s = std::max(s, 2);
    else if (memPercent >= 75)
        s = std::max(s, 1);

    if (gpuPercent >= 90)
        s = 3;
    else if (gpuPercent >= 75)
        s = std::max(s, 2);

    switch (thermalState) {
        case ThermalState::fair:
            s = std::max(s, 1);
            break;
        case ThermalState::serious:
            s = std::max(s, 2);
            break;
        case ThermalState::critical:
            s = 3;
            break;
        case ThermalState::nominal:
            break;
    }

    std::optional<double> t = cpuTempC ? cpuTempC : hottestC;
    if (t) {
        if (*t >= 100)
            s = 3;
        else if (*t >= 90)
            s = std::max(s, 2);
        else if (*t >= 80)
            s = std::max(s, 1);
    }
    return static_cast<Severity>(s);
}

}  // namespace velmora
