#pragma once

#include "engine/metrics_feed.h"
#include "inspect/proc_inspector.h"
#include "inspect/process_actions.h"
#include "ui/analysis/analysis_detail_text.h"
#include "ui/analysis/analysis_model.h"

#include <QDateTime>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QToolButton;

namespace velmora {

class Localizer;

// The analysis window's right-hand pane: one process followed by an inspector, with its
// memory breakdown, connections, open files and counters in an order that puts the analysed
// metric first, and the actions that act on it.
class AnalysisDetailPane : public QWidget {
    Q_OBJECT
  public:
    using Section = DetailSection;
    using Describe = std::function<void(const QString& name, QObject* receiver,
                                        std::function<void(std::optional<QString>)> done)>;
    struct Services {
        std::unique_ptr<ProcInspector> inspector;       // null: the system's
        std::shared_ptr<const ProcessActions> actions;  // null: the desktop's
        Describe describe;                              // null: the description lookup
    };

    AnalysisDetailPane(const MetricsFeed& feed, Localizer& loc, AnalysisKind kind, Services services,
                       QWidget* parent = nullptr);
    ~AnalysisDetailPane() override;

    // Follows `pid`, or shows the prompt to pick one.
    void setPid(std::optional<int32_t> pid);
    // Follows the process `pid` started at `startTime` (0: whichever has the pid); `name`
    // names it should it have ended before the pane saw it alive.
    void setProcess(int32_t pid, uint64_t startTime, const QString& name);
    std::optional<int32_t> pid() const { return pid_; }
    // True once the followed process is gone: the pane keeps what it knew of it.
    bool ended() const { return ended_; }

    static std::array<Section, 4> sectionOrder(AnalysisKind kind) { return detailSectionOrder(kind); }
    // What a section shows, as text: its title line, then its lines.
    QString sectionText(Section section) const;
    QString headerText() const;

  signals:
    void killRequested(int32_t pid, bool force);
    void treeKillRequested(int32_t pid);
    void suspendRequested(int32_t pid);
    void resumeRequested(int32_t pid);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void follow(std::optional<int32_t> pid, uint64_t startTime, const QString& name);
    void rebuild();
    // Follows the process's life from the feed and the inspector into what the pane knows.
    void observe();
    // Shows what the pane knows, as the text model words it.
    void render();
    void retranslate();

    const MetricsFeed& feed_;
    Localizer& loc_;
    AnalysisKind kind_;
    Services services_;
    std::optional<int32_t> pid_;
    uint64_t startTime_ = 0;
    // What the pane last knew of the process while it ran, kept once it has ended.
    QString knownName_;
    QString knownPath_;
    std::optional<QDateTime> knownStart_;
    std::optional<ProcInfo> lastLive_;
    std::optional<ProcInfo> shownLive_;  // the feed's figures now, or the last ones once ended
    std::optional<TimePoint> lastAlive_;
    bool ended_ = false;
    std::optional<QString> description_;
    QString describedName_;

    QLabel* prompt_ = nullptr;
    QWidget* scroll_ = nullptr;
    QWidget* body_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* facts_ = nullptr;
    QLabel* path_ = nullptr;
    QLabel* chips_ = nullptr;
    QPushButton* finder_ = nullptr;
    QPushButton* terminal_ = nullptr;
    QToolButton* more_ = nullptr;
    QPushButton* quit_ = nullptr;
    QPushButton* forceQuit_ = nullptr;
    std::array<QLabel*, 4> sectionTitles_{};
    std::array<QLabel*, 4> sectionBodies_{};
};

}  // namespace velmora
