#pragma once

#include "core/snapshot.h"
#include "ui/analysis/analysis_model.h"

#include <QColor>
#include <QPalette>
#include <QString>

#include <optional>
#include <vector>

namespace velmora {

class Localizer;
struct CoreTopology;

// The colour rules of the dashboard's cards, apart from any widget so they can be checked
// one threshold at a time.
namespace DashboardRules {

// Load and temperature chips: 90 red, 70 orange, 49 yellow, else green. Non-finite reads as 0.
QColor loadColor(double value);
// The hottest-temperature curve: 95 red, 80 orange, 56 yellow, else green.
QColor hottestColor(double celsius);
// A temperature chip: grey when absent, else the load rule.
QColor chipColor(std::optional<double> celsius);
const char* severityKey(Severity severity);
const char* thermalKey(ThermalState state);

// The disk-capacity badge: red from 95 %, orange from 90 %, none (secondary text) below.
std::optional<QColor> diskBadgeColor(double percent);

// A fan's place between its minimum and maximum speed (at most 1); 0.02 when the range is
// unknown, so a running fan still turns.
double fanRatio(const FanInfo& fan);
bool fanStopped(const FanInfo& fan);
// One turn every 2.2 s below a third of the range, 1.2 s below two thirds, else 0.6 s.
int fanPeriodMs(double ratio);
// The running symbol's colour by ratio × 100: 85 red, 50 orange, 35 yellow, else green.
QColor fanColor(double ratio);

// One cluster of the core grid: its cores' loads and their average.
struct CoreCluster {
    QString title;
    std::vector<double> loads;
    double average = 0;
    std::vector<int> cores;  // each load's index in the per-core list, for its history
};
// Groups `perCore` by the topology's clusters. Cores the topology does not know (a count
// that changed since it was read) join one cluster of their own at the end.
std::vector<CoreCluster> coreClusters(const CoreTopology& topology, const std::vector<double>& perCore,
                                      const Localizer& loc);

}  // namespace DashboardRules

}  // namespace velmora
