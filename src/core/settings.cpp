#include "core/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <array>
#include <cmath>

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

// The name each preference has in the store, indexed by AppSettings::Pref: the one place a
// name is spelled, for loading and writing alike. A renamed entry would orphan every user's
// stored value.
constexpr std::array<const char*, 13> kPrefNames = {
    "alertsEnabled",      "cpuAlertThreshold",  "menuBarMetric",    "uiLanguage",            "serviceStopAggressive",
    "procRankCumulative", "collectProcessGPU", "refreshInterval",  "showSystemProcesses",   "rememberLoadSeconds",
    "procTableColumns",   "procTableColumnWidths", "procTableTree",
};
// A stored column width outside this range is dropped.
constexpr int kMinColumnWidth = 16;
constexpr int kMaxColumnWidth = 4000;

#ifndef Q_OS_MACOS
// Whether the file at `path` holds something the store cannot use: it exists but cannot be
// read, or it is not a JSON object (an empty file included). Such a file is never written
// over.
bool unusable(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return false;  // a dangling link too: nothing to lose
    if (info.isDir()) return true;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return true;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    return error.error != QJsonParseError::NoError || !doc.isObject();
}
#endif

}  // namespace

std::optional<double> nearestThreshold(double stored) {
    if (std::isnan(stored)) return std::nullopt;
    const double clamped = std::clamp(stored, double(kThresholdMin), double(kThresholdMax));
    // Halfway between two steps goes up.
    return std::floor(clamped / kThresholdStep + 0.5) * kThresholdStep;
}

std::optional<double> nearestRefreshInterval(double stored) {
    if (std::isnan(stored)) return std::nullopt;
    // Clamped first: far away every distance rounds to the same.
    const double v = std::clamp(stored, kRefreshIntervals.front(), kRefreshIntervals.back());
    double best = kRefreshIntervals.front();
    // The list is in increasing order, so on a tie the shorter one stays.
    for (double interval : kRefreshIntervals)
        if (std::abs(interval - v) < std::abs(best - v)) best = interval;
    return best;
}

std::optional<int> nearestRememberCadence(double stored) {
    if (std::isnan(stored)) return std::nullopt;
    const double v = std::clamp(stored, double(kRememberCadences.front()), double(kRememberCadences.back()));
    int best = kRememberCadences.front();
    // In increasing order: on a tie the shorter (or off) stays.
    for (int cadence : kRememberCadences)
        if (std::abs(cadence - v) < std::abs(best - v)) best = cadence;
    return best;
}

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
    : AppSettings(storePath, Options{}, parent) {}

AppSettings::AppSettings(const QString& storePath, Options options, QObject* parent)
    : QObject(parent), path_(storePath), options_(std::move(options)), store_(openStore(storePath)) {
    writeTimer_.setSingleShot(true);
    writeTimer_.setInterval(options_.writeDelay);
    connect(&writeTimer_, &QTimer::timeout, this, [this] { flush(); });
    // The last changes of a run reach the store before the program ends.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { flush(); });
    load();
}

void AppSettings::load() {
    QSettings& d = *store_;
#ifndef Q_OS_MACOS
    // Checked with the store's own reading: the parse error or refused read it met, and an
    // empty file, which it reads as an empty object.
    const QFileInfo info(path_);
    unreadable_ = info.exists() && (d.status() != QSettings::NoError || info.isDir() || info.size() == 0);
    noteStoreFile();
#endif
    static_assert(kPrefNames.size() == kPrefs);
    auto stored = [&d](Pref pref) { return d.value(QLatin1String(kPrefNames[static_cast<size_t>(pref)])); };
    auto boolean = [&stored](Pref pref, bool fallback) {
        const QVariant v = stored(pref);
        return isBool(v) ? v.toBool() : fallback;
    };
    auto number = [&stored](Pref pref) -> std::optional<double> {
        const QVariant v = stored(pref);
        return isNumber(v) ? std::optional<double>(v.toDouble()) : std::nullopt;
    };
    auto text = [&stored](Pref pref) -> std::optional<QString> {
        const QVariant v = stored(pref);
        return isText(v) ? std::optional<QString>(v.toString()) : std::nullopt;
    };

    alertsEnabled_ = boolean(Pref::alertsEnabled, false);
    // Numbers are brought to the nearest value the settings window offers; the stored text
    // stays as it is until the user changes the setting.
    const std::optional<double> threshold = number(Pref::cpuThreshold);
    cpuThreshold_ = threshold ? nearestThreshold(*threshold).value_or(90.0) : 90.0;
    menuBarMetric_ =
        menuBarMetricFromRaw(text(Pref::menuBarMetric).value_or(QString())).value_or(MenuBarMetric::cpu);
    language_ = text(Pref::language).value_or(QStringLiteral("auto"));
    aggressiveServiceStop_ = boolean(Pref::aggressiveServiceStop, false);
    cumulativeRank_ = boolean(Pref::cumulativeRank, true);
    collectProcessGPU_ = boolean(Pref::collectProcessGPU, true);
    const std::optional<double> interval = number(Pref::refreshInterval);
    refreshInterval_ = interval ? nearestRefreshInterval(*interval).value_or(2.0) : 2.0;
    showSystemProcesses_ = boolean(Pref::showSystemProcesses, true);
    const std::optional<double> remember = number(Pref::rememberLoadSeconds);
    rememberLoadSeconds_ = remember ? nearestRememberCadence(*remember).value_or(10) : 10;
    // Lists and maps keep only the entries of the expected types; the table drops names it
    // does not know.
    processColumns_.clear();
    const QVariant columns = stored(Pref::processColumns);
    if (columns.typeId() == QMetaType::QVariantList || columns.typeId() == QMetaType::QStringList)
        for (const QVariant& v : columns.toList())
            if (isText(v) && !processColumns_.contains(v.toString())) processColumns_ << v.toString();
    processColumnWidths_.clear();
    const QVariant widths = stored(Pref::processColumnWidths);
    if (widths.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = widths.toMap();
        for (auto it = map.begin(); it != map.end(); ++it) {
            if (!isNumber(it.value())) continue;
            const double w = it.value().toDouble();
            if (w >= kMinColumnWidth && w <= kMaxColumnWidth) processColumnWidths_.insert(it.key(), static_cast<int>(w));
        }
    }
    processTree_ = boolean(Pref::processTree, false);
}

AppSettings::~AppSettings() {
    flush();
}

QString AppSettings::language() const {
    return language_;
}

QVariant AppSettings::currentValue(Pref pref) const {
    switch (pref) {
        case Pref::alertsEnabled: return alertsEnabled_.load();
        case Pref::cpuThreshold: return cpuThreshold_.load();
        case Pref::menuBarMetric: return rawValue(menuBarMetric_);
        case Pref::language: return language_;
        case Pref::aggressiveServiceStop: return aggressiveServiceStop_.load();
        case Pref::cumulativeRank: return cumulativeRank_.load();
        case Pref::collectProcessGPU: return collectProcessGPU_.load();
        case Pref::refreshInterval: return refreshInterval_.load();
        case Pref::showSystemProcesses: return showSystemProcesses_.load();
        case Pref::rememberLoadSeconds: return rememberLoadSeconds_.load();
        case Pref::processColumns: return QVariant(processColumns_);
        case Pref::processColumnWidths: {
            QVariantMap map;
            for (auto it = processColumnWidths_.begin(); it != processColumnWidths_.end(); ++it)
                map.insert(it.key(), it.value());
            return map;
        }
        case Pref::processTree: return processTree_;
    }
    return {};
}

void AppSettings::write(Pref pref) {
    dirty_.set(static_cast<size_t>(pref));
    // Restarted by every change: a run of changes is written once, after the last.
    writeTimer_.start();
}

void AppSettings::noteStoreFile() {
    const QFileInfo info(path_);
    knownSize_ = info.exists() ? info.size() : -1;
    knownModified_ = info.exists() ? info.lastModified() : QDateTime();
}

bool AppSettings::storeChangedOnDisk() const {
    const QFileInfo info(path_);
    const qint64 size = info.exists() ? info.size() : -1;
    return size != knownSize_ || (info.exists() ? info.lastModified() : QDateTime()) != knownModified_;
}

bool AppSettings::moveAside() {
    const QDateTime when = options_.clock ? options_.clock() : QDateTime::currentDateTimeUtc();
    const QString base = path_ + QStringLiteral(".unreadable-") +
                         when.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    for (int n = 1; n <= 1000; ++n) {
        const QString target = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        const QFileInfo taken(target);
        if (taken.exists() || taken.isSymLink()) continue;
        // Renaming never replaces an existing file, so an earlier copy is safe even from a
        // second program doing the same.
        if (QFile::rename(path_, target)) {
            setAsidePath_ = target;
            setAsideAcknowledged_ = false;
            return true;
        }
        if (!QFileInfo(target).exists()) return false;
    }
    return false;
}

void AppSettings::acknowledgeSetAside() {
    if (!setAsideNoticePending()) return;
    setAsideAcknowledged_ = true;
    emit storeStatusChanged();
}

bool AppSettings::flush() {
    writeTimer_.stop();
    if (dirty_.none()) return true;
    bool ok = true;
#ifndef Q_OS_MACOS
    const bool wasUnreadable = unreadable_;
    // Someone else may have written the file since it was read.
    if (!unreadable_ && storeChangedOnDisk()) unreadable_ = unusable(path_);
    if (unreadable_) {
        // The store's object holds nothing worth keeping and has no unsaved changes (values
        // reach it only here), so it goes before its file moves.
        store_.reset();
        if (moveAside())
            unreadable_ = false;
        else
            ok = false;
    }
    // The store's folder may not exist on a fresh account.
    if (ok) QDir().mkpath(QFileInfo(path_).absolutePath());
#endif
    if (ok) {
        // A store object keeps reporting its first error: after a failure a new one reports
        // this write.
        if (!store_ || writeFailed_) store_ = openStore(path_);
        for (size_t i = 0; i < kPrefs; ++i)
            if (dirty_.test(i))
                store_->setValue(QLatin1String(kPrefNames[i]), currentValue(static_cast<Pref>(i)));
        // Written to a temporary file, synced, then renamed over the store.
        store_->sync();
        ok = store_->status() == QSettings::NoError;
    }
#ifndef Q_OS_MACOS
    if (ok) noteStoreFile();
    const bool statusChanged = wasUnreadable != unreadable_ || ok == writeFailed_;
#else
    const bool statusChanged = ok == writeFailed_;
#endif
    if (ok) dirty_.reset();
    writeFailed_ = !ok;
    if (statusChanged) emit storeStatusChanged();
    emit stored(ok);
    return ok;
}

void AppSettings::setAlertsEnabled(bool v) {
    alertsEnabled_ = v;
    emit alertsEnabledChanged(v);
    write(Pref::alertsEnabled);
}

void AppSettings::setCpuThreshold(double v) {
    cpuThreshold_ = v;
    emit cpuThresholdChanged(v);
    write(Pref::cpuThreshold);
}

void AppSettings::setMenuBarMetric(MenuBarMetric v) {
    menuBarMetric_ = v;
    emit menuBarMetricChanged(v);
    write(Pref::menuBarMetric);
}

void AppSettings::setLanguage(const QString& v) {
    language_ = v;
    emit languageChanged(v);
    write(Pref::language);
}

void AppSettings::setAggressiveServiceStop(bool v) {
    aggressiveServiceStop_ = v;
    emit aggressiveServiceStopChanged(v);
    write(Pref::aggressiveServiceStop);
}

void AppSettings::setCumulativeRank(bool v) {
    cumulativeRank_ = v;
    emit cumulativeRankChanged(v);
    write(Pref::cumulativeRank);
}

void AppSettings::setCollectProcessGPU(bool v) {
    collectProcessGPU_ = v;
    emit collectProcessGPUChanged(v);
    write(Pref::collectProcessGPU);
}

void AppSettings::setRefreshInterval(double v) {
    refreshInterval_ = v;
    emit refreshIntervalChanged(v);
    write(Pref::refreshInterval);
}

void AppSettings::setShowSystemProcesses(bool v) {
    showSystemProcesses_ = v;
    emit showSystemProcessesChanged(v);
    write(Pref::showSystemProcesses);
}

void AppSettings::setRememberLoadSeconds(int v) {
    rememberLoadSeconds_ = v;
    emit rememberLoadSecondsChanged(v);
    write(Pref::rememberLoadSeconds);
}

void AppSettings::setProcessColumns(const QStringList& v) {
    if (v == processColumns_) return;
    processColumns_ = v;
    emit processColumnsChanged(v);
    write(Pref::processColumns);
}

void AppSettings::setProcessColumnWidths(const QMap<QString, int>& v) {
    if (v == processColumnWidths_) return;
    processColumnWidths_ = v;
    write(Pref::processColumnWidths);
}

void AppSettings::setProcessTree(bool v) {
    if (v == processTree_) return;
    processTree_ = v;
    emit processTreeChanged(v);
    write(Pref::processTree);
}

}  // namespace velmora
