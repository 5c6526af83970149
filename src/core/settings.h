#pragma once

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
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

// The user's preferences, loaded once and written to the store the moment they change.
// Read on the GUI thread; the process sampler reads its two switches from its own thread,
// so every value is held atomically.
class AppSettings : public QObject {
    Q_OBJECT
  public:
    // The store for this user: a JSON file under the XDG config directory on Linux (it
    // keeps value types across restarts), the user-defaults database on macOS.
    static AppSettings& shared();
    static QString defaultStorePath();

    // `storePath` names the store file. The localizer follows `languageChanged` where the
    // application wires the two together; neither singleton reaches for the other.
    explicit AppSettings(const QString& storePath, QObject* parent = nullptr);
    ~AppSettings() override;

    bool alertsEnabled() const { return alertsEnabled_; }
    double cpuThreshold() const { return cpuThreshold_; }
    MenuBarMetric menuBarMetric() const { return menuBarMetric_; }
    QString language() const;
    bool aggressiveServiceStop() const { return aggressiveServiceStop_; }
    bool cumulativeRank() const { return cumulativeRank_; }
    bool collectProcessGPU() const { return collectProcessGPU_; }
    double refreshInterval() const { return refreshInterval_; }
    bool showSystemProcesses() const { return showSystemProcesses_; }

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

  private:
    void write(const char* key, const QVariant& value);

    std::unique_ptr<QSettings> store_;
    std::atomic<bool> alertsEnabled_{false};
    std::atomic<double> cpuThreshold_{90.0};
    std::atomic<MenuBarMetric> menuBarMetric_{MenuBarMetric::cpu};
    QString language_ = QStringLiteral("auto");
    std::atomic<bool> aggressiveServiceStop_{false};
    std::atomic<bool> cumulativeRank_{true};
    std::atomic<bool> collectProcessGPU_{true};
    std::atomic<double> refreshInterval_{2.0};
    std::atomic<bool> showSystemProcesses_{true};
};

}  // namespace velmora
