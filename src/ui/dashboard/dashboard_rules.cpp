#include "ui/dashboard/dashboard_rules.h"

#include "core/localizer.h"
#include "samplers/cpu_sampler.h"
#include "ui/common/system_colors.h"

#include <algorithm>
#include <cmath>

namespace velmora {

namespace DashboardRules {

namespace {

double finite(double v) {
    return std::isfinite(v) ? v : 0;
}

QColor byThresholds(double v, double red, double orange, double yellow) {
    v = finite(v);
    if (v >= red) return SystemColor::red();
    if (v >= orange) return SystemColor::orange();
    if (v >= yellow) return SystemColor::yellow();
    return SystemColor::green();
}

}  // namespace

QColor loadColor(double value) {
    return byThresholds(value, 90, 70, 49);
}

QColor hottestColor(double celsius) {
    return byThresholds(celsius, 95, 80, 56);
}

QColor chipColor(std::optional<double> celsius) {
    if (!celsius || !std::isfinite(*celsius)) return SystemColor::secondaryLabel();
    return loadColor(*celsius);
}

const char* severityKey(Severity severity) {
    switch (severity) {
        case Severity::normal:
            return "sevNormal";
        case Severity::elevated:
            return "sevElevated";
        case Severity::high:
            return "sevHigh";
        case Severity::critical:
            return "sevCritical";
    }
    return "sevNormal";
}

const char* thermalKey(ThermalState state) {
    switch (state) {
        case ThermalState::nominal:
            return "thermNominal";
        case ThermalState::fair:
            return "thermFair";
        case ThermalState::serious:
            return "thermSerious";
        case ThermalState::critical:
            return "thermCritical";
    }
    return "thermNominal";
}

std::optional<QColor> diskBadgeColor(double percent) {
    percent = finite(percent);
    if (percent >= 95) return SystemColor::red();
    if (percent >= 90) return SystemColor::orange();
    return std::nullopt;
}

double fanRatio(const FanInfo& fan) {
    if (!(fan.maxRPM > fan.minRPM) || !std::isfinite(fan.rpm)) return 0.02;
    // Below the minimum (spinning up or down) reads as the slowest, as it looks the same.
    return std::clamp((fan.rpm - fan.minRPM) / (fan.maxRPM - fan.minRPM), 0.0, 1.0);
}

bool fanStopped(const FanInfo& fan) {
    return !(fan.rpm >= 1) && !(fan.target >= 1);
}

int fanPeriodMs(double ratio) {
    if (ratio < 0.34) return 2200;
    if (ratio < 0.67) return 1200;
    return 600;
}

QColor fanColor(double ratio) {
    return byThresholds(ratio * 100, 85, 50, 35);
}

std::vector<CoreCluster> coreClusters(const CoreTopology& topology, const std::vector<double>& perCore,
                                      const Localizer& loc) {
    std::vector<CoreCluster> out;
    std::vector<bool> placed(perCore.size(), false);
    auto average = [](CoreCluster& c) {
        double sum = 0;
        for (double v : c.loads)
            sum += v;
        c.average = c.loads.empty() ? 0 : sum / static_cast<double>(c.loads.size());
    };
    for (const CoreGroup& group : topology.groups) {
        CoreCluster cluster;
        switch (group.kind.type) {
            case CoreKind::Type::performance:
                cluster.title = loc.t(QStringLiteral("dashPerfCores"));
                break;
            case CoreKind::Type::efficiency:
                cluster.title = loc.t(QStringLiteral("dashEffCores"));
                break;
            case CoreKind::Type::other:
                cluster.title = group.kind.isUnnamed() ? loc.t(QStringLiteral("dashAllCores")) : group.kind.name;
                break;
        }
        for (const int i : group.indices) {
            if (i < 0 || static_cast<size_t>(i) >= perCore.size()) continue;
            cluster.loads.push_back(finite(perCore[i]));
            cluster.cores.push_back(i);
            placed[i] = true;
        }
        if (cluster.loads.empty()) continue;
        average(cluster);
        out.push_back(std::move(cluster));
    }
    CoreCluster rest;
    for (size_t i = 0; i < perCore.size(); ++i)
        if (!placed[i]) {
            rest.loads.push_back(finite(perCore[i]));
            rest.cores.push_back(static_cast<int>(i));
        }
    if (!rest.loads.empty()) {
        rest.title = loc.t(QStringLiteral("dashAllCores"));  // cores the topology did not place
        average(rest);
        out.push_back(std::move(rest));
    }
    return out;
}

}  // namespace DashboardRules

}  // namespace velmora
