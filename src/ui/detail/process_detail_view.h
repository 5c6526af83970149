#pragma once

#include "core/snapshot.h"
#include "inspect/process_collector.h"
#include "inspect/process_priority.h"
#include "inspect/process_types.h"
#include "ui/common/kill_flow.h"

#include <QIcon>
#include <QWidget>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QGridLayout;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QToolButton;

namespace velmora {

class ElidedLabel;
class Localizer;
class MetricsFeed;
class OpenFilesFetcher;
class TimeChart;

// Everything about one process in one panel: who it is, its live counters and CPU trend,
// its fixed facts, its scheduling priority, open files and ports, its path, and quitting it
// through the kill advisor. Facts are fetched once when it is made; the live strip and the
// chart follow the feed while the view is visible; open files are scanned on request. When
// the process is gone and no facts were had, only a "gone" block remains. GUI thread.
class ProcessDetailView : public QWidget {
    Q_OBJECT
  public:
    // Runs `action` once after `delay` (a single-shot timer bound to the view).
    using After = std::function<void(std::chrono::milliseconds delay, std::function<void()> action)>;

    // The running system's services; tests replace any of them.
    struct Services {
        std::function<void()> onClose;
        std::function<std::optional<ProcessStaticInfo>(int32_t)> fetchStatic;  // null: the system's facts
        std::function<std::optional<ProcessLiveInfo>(int32_t)> fetchLive;      // null: the system's counters
        std::unique_ptr<ProcessCollector> filesCollector;                       // null: the system's collector
        std::optional<ProcessPriority> priority;                                // absent: getpriority
        ProcessActionServices actions;  // quit and the priority change, as every window
        After after;                                                            // null: a timer
        std::function<QIcon(int32_t pid)> icon;                                 // null: the generic icon
        std::function<void(const QString& path)> reveal;                        // null: the file manager
    };

    static constexpr std::chrono::milliseconds kCloseAfterSent{800};
    static constexpr std::chrono::milliseconds kFailureShown{2500};

    ProcessDetailView(MetricsFeed& feed, Localizer& loc, int32_t pid, Services services = {},
                      QWidget* parent = nullptr);
    ~ProcessDetailView() override;

    int32_t pid() const { return pid_; }
    // The process the view was opened for: its pid and the start stamp it had then.
    const ProcessRef& ref() const { return ref_; }
    const std::optional<ProcessStaticInfo>& info() const { return info_; }
    bool gone() const;
    std::optional<int> nice() const { return nice_; }
    const QString& niceMessage() const { return niceMsg_; }
    const QString& resultMessage() const { return resultMsg_; }
    bool loadingFiles() const { return loadingFiles_; }
    const std::optional<OpenFilesResult>& openFiles() const { return openFiles_; }
    bool filesFailed() const { return filesFailed_; }

    // Sets the priority, clamped to the system's range, of the process the view was opened
    // for, and reads it back.
    void applyNice(int requested);
    // Asks the advisor, confirms, signals: a sent signal closes the view shortly after.
    void requestKill(bool force);
    // Starts a fresh open-file scan; a result of an earlier one is dropped.
    void loadOpenFiles();

    QSize sizeHint() const override { return {520, 700}; }

  signals:
    void closeRequested();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void build();
    void retranslate();
    void refresh();
    void refreshLive(const std::optional<ProcInfo>& live);
    void refreshChart();
    void refreshFacts();
    void refreshFiles();
    void showNiceValue();
    void setResult(const QString& text);
    void close();
    void later(std::chrono::milliseconds delay, std::function<void()> action);
    QString displayName() const;
    std::optional<ProcInfo> live() const;
    void addFact(bool mono);

    MetricsFeed& feed_;
    Localizer& loc_;
    int32_t pid_;
    Services services_;
    ProcessPriority priority_;
    KillFlow flow_;
    ProcessRef ref_;
    std::unique_ptr<OpenFilesFetcher> filesFetcher_;

    std::optional<ProcessStaticInfo> info_;
    std::optional<ProcessLiveInfo> liveInfo_;
    QString lastName_;
    std::optional<int> nice_;
    QString niceMsg_;
    QString resultMsg_;
    int resultGeneration_ = 0;
    std::optional<OpenFilesResult> openFiles_;
    bool filesFailed_ = false;
    bool loadingFiles_ = false;
    int filesGeneration_ = 0;
    bool settingNice_ = false;

    // Header.
    QLabel* icon_ = nullptr;
    ElidedLabel* name_ = nullptr;
    QLabel* pidTag_ = nullptr;
    QLabel* parent_ = nullptr;
    QToolButton* closeButton_ = nullptr;
    // Gone block.
    QWidget* goneBlock_ = nullptr;
    QLabel* goneText_ = nullptr;
    QPushButton* goneClose_ = nullptr;
    // Everything below the header while the process is known.
    QScrollArea* body_ = nullptr;
    QWidget* liveStrip_ = nullptr;
    std::vector<std::pair<QLabel*, QLabel*>> stats_;  // caption, value
    QLabel* chartTitle_ = nullptr;
    TimeChart* chart_ = nullptr;
    QLabel* collecting_ = nullptr;
    QGridLayout* factsGrid_ = nullptr;
    std::vector<std::pair<QLabel*, QLabel*>> facts_;  // caption, value
    QLabel* niceTitle_ = nullptr;
    QLabel* niceValue_ = nullptr;
    QLabel* niceDesc_ = nullptr;
    QSpinBox* niceStepper_ = nullptr;
    QLabel* niceResult_ = nullptr;
    QLabel* filesTitle_ = nullptr;
    QPushButton* filesRefresh_ = nullptr;
    QProgressBar* filesBusy_ = nullptr;
    QLabel* filesSummary_ = nullptr;
    QLabel* pathTitle_ = nullptr;
    ElidedLabel* pathValue_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* revealButton_ = nullptr;
    QWidget* actionBar_ = nullptr;
    QPushButton* quitButton_ = nullptr;
    QPushButton* forceButton_ = nullptr;
    QLabel* result_ = nullptr;
};

}  // namespace velmora
