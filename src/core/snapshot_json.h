#pragma once

#include "core/snapshot.h"

#include <QJsonObject>

namespace velmora {

// Every snapshot field under its own name; absent optionals are null.
QJsonObject toJson(const Snapshot& s);
QJsonObject toJson(const ProcInfo& p);

QString severityName(Severity s);
QString thermalStateName(ThermalState s);

}  // namespace velmora
