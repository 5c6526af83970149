#include "core/snapshot_json.h"

#include <QDateTime>
#include <QJsonArray>

namespace velmora {

namespace {

QJsonValue optional(const std::optional<double>& v) {
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}
QJsonValue optional(const std::optional<int>& v) {
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}
// JSON numbers are doubles; byte counts stay exact up to 2^53, far beyond any real size.
QJsonValue count(uint64_t v) {
    return QJsonValue(static_cast<double>(v));
}

}  // namespace

QString severityName(Severity s) {
    switch (s) {
        case Severity::normal:
            return QStringLiteral("normal");
        case Severity::elevated:
            return QStringLiteral("elevated");
        case Severity::high:
            return QStringLiteral("high");
        case Severity::critical:
            return QStringLiteral("critical");
    }
    return {};
}

QString thermalStateName(ThermalState s) {
    switch (s) {
        case ThermalState::nominal:
            return QStringLiteral("nominal");
        case ThermalState::fair:
            return QStringLiteral("fair");
        case ThermalState::serious:
            return QStringLiteral("serious");
        case ThermalState::critical:
            return QStringLiteral("critical");
    }
    return {};
}

QJsonObject toJson(const ProcInfo& p) {
    return {{"pid", p.pid},
            {"name", p.name},
            {"cpu", p.cpu},
            {"memBytes", count(p.memBytes)},
            {"diskReadBps", p.diskReadBps},
            {"diskWriteBps", p.diskWriteBps},
            {"energyImpact", p.energyImpact},
            {"gpuPercent", p.gpuPercent},
            {"isSystem", p.isSystem},
            {"stableScore", p.stableScore}};
}

QJsonObject toJson(const Snapshot& s) {
    QJsonArray perCore;
    for (double v : s.cpuPerCore)
        perCore.append(v);
    QJsonArray fans;
    for (const FanInfo& f : s.fans)
        fans.append(
            QJsonObject{{"rpm", f.rpm}, {"target", f.target}, {"minRPM", f.minRPM}, {"maxRPM", f.maxRPM}});
    QJsonArray sensors;
    for (const TemperatureSensor& t : s.sensors)
        sensors.append(QJsonObject{{"name", t.name}, {"celsius", t.celsius}});
    QJsonArray processes;
    for (const ProcInfo& p : s.processes)
        processes.append(toJson(p));
    const BatteryInfo& b = s.battery;
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(s.time.time_since_epoch()).count();

    return {{"time", QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs)},
            {"cpuTotal", s.cpuTotal},
            {"cpuPerCore", perCore},
            {"memUsed", count(s.memUsed)},
            {"memTotal", count(s.memTotal)},
            {"memCompressed", count(s.memCompressed)},
            {"swapUsed", count(s.swapUsed)},
            {"memPercent", s.memPercent},
            {"diskUsed", count(s.diskUsed)},
            {"diskTotal", count(s.diskTotal)},
            {"diskPercent", s.diskPercent},
            {"diskReadBps", s.diskReadBps},
            {"diskWriteBps", s.diskWriteBps},
            {"diskReadBytes", count(s.diskReadBytes)},
            {"diskWrittenBytes", count(s.diskWrittenBytes)},
            {"gpuPercent", s.gpuPercent},
            {"netInBps", s.netInBps},
            {"netOutBps", s.netOutBps},
            {"netInBytes", count(s.netInBytes)},
            {"netOutBytes", count(s.netOutBytes)},
            {"battery", QJsonObject{{"present", b.present},
                                    {"percent", b.percent},
                                    {"charging", b.charging},
                                    {"acPower", b.acPower},
                                    {"timeToEmptyMin", optional(b.timeToEmptyMin)},
                                    {"timeToFullMin", optional(b.timeToFullMin)},
                                    {"cycleCount", optional(b.cycleCount)},
                                    {"healthPercent", optional(b.healthPercent)}}},
            {"fans", fans},
            {"thermalState", thermalStateName(s.thermalState)},
            {"cpuTempC", optional(s.cpuTempC)},
            {"gpuTempC", optional(s.gpuTempC)},
            {"hottestC", optional(s.hottestC)},
            {"cpuPowerW", optional(s.cpuPowerW)},
            {"gpuPowerW", optional(s.gpuPowerW)},
            {"anePowerW", optional(s.anePowerW)},
            {"sensors", sensors},
            {"processes", processes},
            {"severity", severityName(s.severity())}};
}

}  // namespace velmora
