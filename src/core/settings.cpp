#include "core/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>

#include <array>

namespace velmora {

namespace {

constexpr auto kMetricNames = std::array{"cpu", "memory", "gpu", "network", "temperature"};

#ifndef Q_OS_MACOS
// QSettings' own INI format turns every value into text; JSON keeps booleans, numbers and
// texts apart, which the load rules depend on.
bool readJson(QIODevice& device, QSettings::SettingsMap& map) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(device.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject obj = doc.object();
    for (auto it = obj.begin(); it != obj.end(); ++it)
        map.insert(it.key(), it.value().toVariant());
    return true;
}

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map) {
    QJsonObject obj;
    for (auto it = map.begin(); it != map.end(); ++it)
        obj.insert(it.key(), QJsonValue::fromVariant(it.value()));
    return device.write(QJsonDocument(obj).toJson(QJsonDocument::Indented)) >= 0;
}

QSettings::Format jsonFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("json"), readJson, writeJson);
    return format;
}
#endif

std::unique_ptr<QSettings> openStore(const QString& path) {
#ifdef Q_OS_MACOS
    if (path.isEmpty())
        return std::make_unique<QSettings>(QStringLiteral("com.tandrel.pelto"), QStringLiteral("Velmora"));
    return std::make_unique<QSettings>(path, QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(path, jsonFormat());
#endif
}

bool isBool(const QVariant& v) {
    return v.typeId() == QMetaType::Bool;
}

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return true;
        default:
            return false;
    }
}

bool isText(const QVariant& v) {
    return v.typeId() == QMetaType::QString;
}

}  // namespace

QString rawValue(MenuBarMetric metric) {
    return QString::fromLatin1(kMetricNames[static_cast<size_t>(metric)]);
}

std::optional<MenuBarMetric> menuBarMetricFromRaw(const QString& raw) {
    for (size_t i = 0; i < kMetricNames.size(); ++i)
        if (raw == QLatin1String(kMetricNames[i])) return static_cast<MenuBarMetric>(i);
    return std::nullopt;
}

const std::array<MenuBarMetric, 5>& allMenuBarMetrics() {
    static const std::array<MenuBarMetric, 5> all = {MenuBarMetric::cpu, MenuBarMetric::memory,
                                                     MenuBarMetric::gpu, MenuBarMetric::network,
                                                     MenuBarMetric::temperature};
    return all;
}

QString AppSettings::defaultStorePath() {
#ifdef Q_OS_MACOS
    return {};
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/velmora/settings.json");
#endif
}

AppSettings& AppSettings::shared() {
    static AppSettings* instance = new AppSettings(defaultStorePath());
    return *instance;
}

AppSettings::AppSettings(const QString& storePath, QObject* parent)
    : QObject(parent), store_(openStore(storePath)) {
    QSettings& d = *store_;
    auto boolean = [&d](const char* key, bool fallback) {
        const QVariant v = d.value(QLatin1String(key));
        return isBool(v) ? v.toBool() : fallback;
    };
    auto number = [&d](const char* key) -> std::optional<double> {
        const QVariant v = d.value(QLatin1String(key));
        return isNumber(v) ? std::optional<double>(v.toDouble()) : std::nullopt;
    };
    auto text = [&d](const char* key) -> std::optional<QString> {
        const QVariant v = d.value(QLatin1String(key));
        return isText(v) ? std::optional<QString>(v.toString()) : std::nullopt;
    };

    alertsEnabled_ = boolean("alertsEnabled", false);
    cpuThreshold_ = number("cpuAlertThreshold").value_or(90.0);
    menuBarMetric_ =
        menuBarMetricFromRaw(text("menuBarMetric").value_or(QString())).value_or(MenuBarMetric::cpu);
    language_ = text("uiLanguage").value_or(QStringLiteral("auto"));
    aggressiveServiceStop_ = boolean("serviceStopAggressive", false);
    cumulativeRank_ = boolean("procRankCumulative", true);
    collectProcessGPU_ = boolean("collectProcessGPU", true);
    const double interval = number("refreshInterval").value_or(2.0);
    refreshInterval_ =
        std::find(kRefreshIntervals.begin(), kRefreshIntervals.end(), interval) != kRefreshIntervals.end()
            ? interval
            : 2.0;
    showSystemProcesses_ = boolean("showSystemProcesses", true);
}

AppSettings::~AppSettings() = default;

QString AppSettings::language() const {
    return language_;
}

void AppSettings::write(const char* key, const QVariant& value) {
#ifndef Q_OS_MACOS
    // The store's folder may not exist on a fresh account.
    QDir().mkpath(QFileInfo(store_->fileName()).absolutePath());
#endif
    store_->setValue(QLatin1String(key), value);
    store_->sync();
}

void AppSettings::setAlertsEnabled(bool v) {
    alertsEnabled_ = v;
    emit alertsEnabledChanged(v);
    write("alertsEnabled", v);
}

void AppSettings::setCpuThreshold(double v) {
    cpuThreshold_ = v;
    emit cpuThresholdChanged(v);
    write("cpuAlertThreshold", v);
}

void AppSettings::setMenuBarMetric(MenuBarMetric v) {
    menuBarMetric_ = v;
    emit menuBarMetricChanged(v);
    write("menuBarMetric", rawValue(v));
}

void AppSettings::setLanguage(const QString& v) {
    language_ = v;
    emit languageChanged(v);
    write("uiLanguage", v);
}

void AppSettings::setAggressiveServiceStop(bool v) {
    aggressiveServiceStop_ = v;
    emit aggressiveServiceStopChanged(v);
    write("serviceStopAggressive", v);
}

void AppSettings::setCumulativeRank(bool v) {
    cumulativeRank_ = v;
    emit cumulativeRankChanged(v);
    write("procRankCumulative", v);
}

void AppSettings::setCollectProcessGPU(bool v) {
    collectProcessGPU_ = v;
    emit collectProcessGPUChanged(v);
    write("collectProcessGPU", v);
}

void AppSettings::setRefreshInterval(double v) {
    refreshInterval_ = v;
    emit refreshIntervalChanged(v);
    write("refreshInterval", v);
}

void AppSettings::setShowSystemProcesses(bool v) {
    showSystemProcesses_ = v;
    emit showSystemProcessesChanged(v);
    write("showSystemProcesses", v);
}

}  // namespace velmora
