#pragma once

#include <QObject>
#include <QString>

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QTimer>

#include <array>
#include <atomic>
#include <bitset>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace velmora {

// Which value the status item shows, in the order the settings window offers them.
enum class MenuBarMetric { cpu, memory, gpu, network, temperature };

QString rawValue(MenuBarMetric metric);
std::optional<MenuBarMetric> menuBarMetricFromRaw(const QString& raw);
const std::array<MenuBarMetric, 5>& allMenuBarMetrics();

// The refresh intervals a user can choose, in seconds.
inline constexpr std::array<double, 3> kRefreshIntervals = {1.0, 2.0, 5.0};

// How often the remembered record notes who caused the load, in seconds; 0 is off.
inline constexpr std::array<int, 3> kRememberCadences = {0, 10, 30};

// The alert thresholds a user can choose: kThresholdMin to kThresholdMax percent in steps.
inline constexpr int kThresholdMin = 50;
inline constexpr int kThresholdMax = 100;
inline constexpr int kThresholdStep = 5;

// The value the controls offer that lies nearest `stored`, so a hand-edited or damaged store
// never yields a setting no control can show. A tie between two intervals goes to the shorter,
// between two thresholds to the higher; a value that is no number at all gives nothing.
std::optional<double> nearestThreshold(double stored);
std::optional<double> nearestRefreshInterval(double stored);
std::optional<int> nearestRememberCadence(double stored);

// The user's preferences, loaded once; a change is published at once and written to the
// store shortly after (changes in quick succession, a slider drag, become one write).
// Read on the GUI thread; the process sampler reads its two switches from its own thread,
// so every value is held atomically.
//
// A store that cannot be read or is not a JSON object is never written over: the first
// write moves it aside ("<store>.unreadable-<UTC time>", never replacing an earlier one) and
// starts a new store.
class AppSettings : public QObject {
    Q_OBJECT
  public:
    struct Options {
        // How long a change waits for the next before the store is written.
        std::chrono::milliseconds writeDelay{300};
        // The time that names a store moved aside; null: the system clock.
        std::function<QDateTime()> clock;
    };

    // The store for this user: a JSON file under the XDG config directory on Linux (it
    // keeps value types across restarts), the user-defaults database on macOS.
    static AppSettings& shared();
    static QString defaultStorePath();

    // `storePath` names the store file. The localizer follows `languageChanged` where the
    // application wires the two together; neither singleton reaches for the other.
    explicit AppSettings(const QString& storePath, QObject* parent = nullptr);
    AppSettings(const QString& storePath, Options options, QObject* parent = nullptr);
    // Writes what is still waiting.
    ~AppSettings() override;

    // Writes every change not yet stored now (the application calls it before quitting, the
    // settings window when it closes). True when nothing is left unwritten.
    bool flush();
    bool hasPendingWrites() const { return dirty_.any(); }

    // The state of the store, for the settings window. On macOS the store is the system's
    // and these stay empty.
    QString storePath() const { return path_; }
    // The store could not be read and has not been moved aside yet: the defaults are in use.
    bool storeUnreadable() const { return unreadable_; }
    // Where this run moved an unreadable store; empty when it did not.
    QString setAsidePath() const { return setAsidePath_; }
    // The last write failed (the changes are kept and tried again with the next one).
    bool storeWriteFailed() const { return writeFailed_; }
    // The window has told the user about the store moved aside: it says so once.
    bool setAsideNoticePending() const { return !setAsidePath_.isEmpty() && !setAsideAcknowledged_; }
    void acknowledgeSetAside();

    bool alertsEnabled() const { return alertsEnabled_; }
    double cpuThreshold() const { return cpuThreshold_; }
    MenuBarMetric menuBarMetric() const { return menuBarMetric_; }
    QString language() const;
    bool aggressiveServiceStop() const { return aggressiveServiceStop_; }
    bool cumulativeRank() const { return cumulativeRank_; }
    bool collectProcessGPU() const { return collectProcessGPU_; }
    double refreshInterval() const { return refreshInterval_; }
    bool showSystemProcesses() const { return showSystemProcesses_; }
    // Seconds between the remembered record's notes of who caused the load; 0: off.
    int rememberLoadSeconds() const { return rememberLoadSeconds_; }
    // The dashboard table's shown columns by name (empty: the default set), their widths in
    // pixels by name, and whether it shows the process tree. GUI thread only.
    QStringList processColumns() const { return processColumns_; }
    QMap<QString, int> processColumnWidths() const { return processColumnWidths_; }
    bool processTree() const { return processTree_; }

    void setAlertsEnabled(bool v);
    void setCpuThreshold(double v);
    void setMenuBarMetric(MenuBarMetric v);
    void setLanguage(const QString& v);
    void setAggressiveServiceStop(bool v);
    void setCumulativeRank(bool v);
    void setCollectProcessGPU(bool v);
    // Not validated: a value outside the allowed list is stored and falls back at next load.
    void setRefreshInterval(double v);
    void setShowSystemProcesses(bool v);
    void setRememberLoadSeconds(int v);
    void setProcessColumns(const QStringList& v);
    void setProcessColumnWidths(const QMap<QString, int>& v);
    void setProcessTree(bool v);

  signals:
    void alertsEnabledChanged(bool);
    void cpuThresholdChanged(double);
    void menuBarMetricChanged(velmora::MenuBarMetric);
    void languageChanged(const QString&);
    void aggressiveServiceStopChanged(bool);
    void cumulativeRankChanged(bool);
    void collectProcessGPUChanged(bool);
    void refreshIntervalChanged(double);
    void showSystemProcessesChanged(bool);
    void rememberLoadSecondsChanged(int);
    void processColumnsChanged(const QStringList&);
    void processTreeChanged(bool);
    // Any of the store's states above changed.
    void storeStatusChanged();
    // One write of the store ended; `ok` false when it failed.
    void stored(bool ok);

  private:
    // The stored preferences; the name each has in the store is in one table (settings.cpp).
    enum class Pref {
        alertsEnabled,
        cpuThreshold,
        menuBarMetric,
        language,
        aggressiveServiceStop,
        cumulativeRank,
        collectProcessGPU,
        refreshInterval,
        showSystemProcesses,
        rememberLoadSeconds,
        processColumns,
        processColumnWidths,
        processTree,
    };
    static constexpr size_t kPrefs = 13;

    void load();
    void write(Pref pref);
    QVariant currentValue(Pref pref) const;
    bool moveAside();
    void noteStoreFile();
    bool storeChangedOnDisk() const;

    QString path_;
    Options options_;
    std::unique_ptr<QSettings> store_;
    QTimer writeTimer_;
    std::bitset<kPrefs> dirty_;
    bool unreadable_ = false;
    bool writeFailed_ = false;
    bool setAsideAcknowledged_ = false;
    QString setAsidePath_;
    // The store file as last read or written, to notice a change made by someone else.
    QDateTime knownModified_;
    qint64 knownSize_ = -1;
    std::atomic<bool> alertsEnabled_{false};
    std::atomic<double> cpuThreshold_{90.0};
    std::atomic<MenuBarMetric> menuBarMetric_{MenuBarMetric::cpu};
    QString language_ = QStringLiteral("auto");
    std::atomic<bool> aggressiveServiceStop_{false};
    std::atomic<bool> cumulativeRank_{true};
    std::atomic<bool> collectProcessGPU_{true};
    std::atomic<double> refreshInterval_{2.0};
    std::atomic<bool> showSystemProcesses_{true};
    std::atomic<int> rememberLoadSeconds_{10};
    QStringList processColumns_;
    QMap<QString, int> processColumnWidths_;
    bool processTree_ = false;
};

}  // namespace velmora
