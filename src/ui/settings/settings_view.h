#pragma once

#include <QPointer>
#include <QUrl>
#include <QWidget>

#include "core/settings.h"

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSlider;
class QToolButton;
class QVBoxLayout;

namespace velmora {

class BugReportSheet;
class BugReporter;
class Localizer;

namespace platform {
class LoginItem;
}

// The settings form: every control writes straight into the settings, which store the value
// at once (no apply step), and follows them when they change elsewhere. Fixed at 400 × 500;
// what does not fit scrolls.
class SettingsView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 500;
    // The threshold slider's range and step, in percent.
    static constexpr int kThresholdMin = velmora::kThresholdMin;
    static constexpr int kThresholdMax = velmora::kThresholdMax;
    static constexpr int kThresholdStep = velmora::kThresholdStep;

    struct Services {
        std::function<void()> onAuthorize;         // asks for notification permission
        platform::LoginItem* loginItem = nullptr;  // null: nothing to register (toggle disabled)
        BugReporter* reporter = nullptr;           // null: the shared reporter
        std::function<void(const QUrl&)> openUrl;  // null: the desktop's browser
        // Deletes the remembered record and reports whether it could (with the system's
        // reason when not). Null: nothing is remembered, the button is hidden.
        std::function<void(std::function<void(bool ok, const QString& error)>)> forgetHistory;
        // Asks before forgetting; null: a dialog. Tests answer it.
        std::function<bool(const QString& question)> confirm;
    };

    SettingsView(AppSettings& settings, Localizer& loc, Services services, QWidget* parent = nullptr);
    ~SettingsView() override;

    // The controls, for the application's wiring and its tests.
    QCheckBox* loginToggle() const { return login_; }
    // Why the last change of launch at login did not take; hidden when it did.
    QLabel* loginNote() const { return loginNote_; }
    // What is wrong with the settings store (unreadable, moved aside, not writable); hidden
    // while nothing is.
    QLabel* storeNote() const { return storeNote_; }
    QScrollArea* scrollArea() const { return scroll_; }
    QComboBox* metricPicker() const { return metric_; }
    QCheckBox* gpuToggle() const { return gpu_; }
    QComboBox* intervalPicker() const { return interval_; }
    QCheckBox* systemToggle() const { return system_; }
    QComboBox* rememberPicker() const { return remember_; }
    QPushButton* forgetButton() const { return forget_; }
    // The outcome of forgetting, and any problem with the remembered record's database.
    QLabel* historyNote() const { return historyNote_; }
    // The database was moved aside (`asidePath`), or none can be kept (`error`).
    void showHistoryProblem(const QString& asidePath, const QString& error);
    QCheckBox* alertsToggle() const { return alerts_; }
    QWidget* thresholdRow() const { return thresholdRow_; }
    QSlider* thresholdSlider() const { return slider_; }
    QLabel* thresholdValue() const { return sliderValue_; }
    QRadioButton* safeStop() const { return safeStop_; }
    QRadioButton* aggressiveStop() const { return aggressiveStop_; }
    QComboBox* languagePicker() const { return language_; }
    QLabel* aboutLine() const { return about_; }
    QToolButton* helpLink() const { return help_; }
    QToolButton* homepageLink() const { return homepage_; }
    QToolButton* reportButton() const { return report_; }
    BugReportSheet* reportSheet() const;

    QUrl helpUrl() const;
    QUrl homepageUrl() const;
    // The window title's name with the settings word taken out, then the version.
    QString aboutText() const;

  protected:
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void showStoreStatus();
    void showLoginResult();
    void changeLogin(bool on);
    void retranslate();
    void restyle();
    void showSettings();
    void open(const QUrl& url) const;
    QVBoxLayout* section(QVBoxLayout* column, QLabel** header);
    QLabel* note(QVBoxLayout* into);

    AppSettings& settings_;
    Localizer& loc_;
    Services services_;

    QScrollArea* scroll_ = nullptr;
    QLabel* storeNote_ = nullptr;
    QLabel* generalHeader_ = nullptr;
    QLabel* loginLabel_ = nullptr;
    QCheckBox* login_ = nullptr;
    QLabel* loginNote_ = nullptr;
    // The outcome of the last change of launch at login, kept to be retranslated.
    enum class LoginOutcome { none, failed, refused } loginOutcome_ = LoginOutcome::none;
    QString loginFailurePath_;
    QString loginFailureReason_;
    QLabel* metricLabel_ = nullptr;
    QComboBox* metric_ = nullptr;
    QLabel* gpuLabel_ = nullptr;
    QCheckBox* gpu_ = nullptr;
    QLabel* gpuNote_ = nullptr;
    QLabel* intervalLabel_ = nullptr;
    QComboBox* interval_ = nullptr;
    QLabel* intervalNote_ = nullptr;
    QLabel* systemLabel_ = nullptr;
    QCheckBox* system_ = nullptr;
    QLabel* systemNote_ = nullptr;
    QLabel* rememberLabel_ = nullptr;
    QComboBox* remember_ = nullptr;
    QLabel* rememberNote_ = nullptr;
    QPushButton* forget_ = nullptr;
    QLabel* historyNote_ = nullptr;
    // What the history note says, kept to be retranslated.
    enum class HistoryOutcome { none, forgotten, forgetFailed, setAside, unavailable } historyOutcome_ =
        HistoryOutcome::none;
    QString historyDetail_;
    void showHistoryOutcome();
    void forgetHistory();

    QLabel* alertsHeader_ = nullptr;
    QLabel* alertsLabel_ = nullptr;
    QCheckBox* alerts_ = nullptr;
    QWidget* thresholdRow_ = nullptr;
    QLabel* thresholdLabel_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* sliderValue_ = nullptr;
    QLabel* thresholdNote_ = nullptr;

    QLabel* stopHeader_ = nullptr;
    QLabel* stopLabel_ = nullptr;
    QButtonGroup* stopGroup_ = nullptr;
    QRadioButton* safeStop_ = nullptr;
    QRadioButton* aggressiveStop_ = nullptr;
    QLabel* safeStopText_ = nullptr;
    QLabel* aggressiveStopText_ = nullptr;
    QLabel* stopNote_ = nullptr;

    QLabel* languageHeader_ = nullptr;
    QLabel* languageLabel_ = nullptr;
    QComboBox* language_ = nullptr;
    QLabel* languageNote_ = nullptr;

    QLabel* about_ = nullptr;
    QLabel* description_ = nullptr;
    QToolButton* help_ = nullptr;
    QToolButton* homepage_ = nullptr;
    QToolButton* report_ = nullptr;
    QPointer<BugReportSheet> sheet_;

    QList<QLabel*> headers_;
    QList<QLabel*> notes_;
    QList<QCheckBox*> toggles_;
    bool restyling_ = false;
};

}  // namespace velmora
