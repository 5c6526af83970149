#pragma once

#include "maintenance/services_service.h"
#include "maintenance/startup_service.h"
#include "ui/storage/storage_model.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QShortcut;
class QStackedWidget;
class QTabBar;
class QToolButton;
class QVBoxLayout;

namespace velmora {

class AppSettings;
class Localizer;
class ServiceList;
class StartupRow;
struct RowArt;

// The maintenance window's content: what starts at login (reveal, remove) and the user's
// background services (search, stop, start), in two sections. Lists change only when asked:
// by the refresh buttons, after an action, or when a section is shown with an empty list.
class StorageView : public QWidget {
    Q_OBJECT
  public:
    enum class Section { startup, services };

    struct Sources {
        std::unique_ptr<StartupSource> startup;
        std::shared_ptr<platform::ServiceManager> services;
        // Shows a file selected in the file manager.
        std::function<void(const QString& path)> reveal;
    };
    // The system's startup source, service manager and file manager.
    static Sources systemSources();

    StorageView(AppSettings& settings, Localizer& loc, Sources sources, QWidget* parent = nullptr);
    ~StorageView() override;

    Section section() const { return section_; }
    void setSection(Section section);
    void setServiceSearch(const QString& text);

    StartupService& startup() { return *startup_; }
    ServicesService& services() { return *services_; }
    // What the sections show now.
    const ServicesPresentation& servicesShown() const { return servicesShown_; }
    const std::vector<StartupRowView>& startupShown() const { return startupShown_; }
    // The shown rows, for a look from outside (tests, screenshots).
    ServiceList* serviceList() const { return serviceList_; }
    QWidget* startupRow(size_t i) const;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void build();
    QWidget* buildStartup();
    QWidget* buildServices();
    void retranslate();
    void refreshStartup();
    void refreshServices();
    void sectionShown();

    AppSettings& settings_;
    Localizer& loc_;
    std::function<void(const QString&)> reveal_;
    StartupService* startup_;
    ServicesService* services_;
    Section section_ = Section::startup;
    QString search_;
    ServicesPresentation servicesShown_;
    std::vector<StartupRowView> startupShown_;

    QTabBar* tabs_ = nullptr;
    QStackedWidget* stack_ = nullptr;

    QLabel* startupTitle_ = nullptr;
    QProgressBar* startupBusy_ = nullptr;
    QToolButton* startupRefresh_ = nullptr;
    QLabel* startupNote_ = nullptr;
    QLabel* startupFailure_ = nullptr;  // why the last removal did nothing
    QVBoxLayout* startupRows_ = nullptr;
    std::vector<StartupRow*> startupPool_;
    QLabel* startupEmpty_ = nullptr;

    QLabel* servicesTitle_ = nullptr;
    QProgressBar* servicesBusy_ = nullptr;
    QToolButton* servicesRefresh_ = nullptr;
    QShortcut* rescanKeys_ = nullptr;
    QLineEdit* searchField_ = nullptr;
    QLabel* countLine_ = nullptr;
    QLabel* modeIcon_ = nullptr;
    QLabel* modeText_ = nullptr;
    QLabel* unreachable_ = nullptr;
    QLabel* serviceNotice_ = nullptr;  // how the last stop or start failed
    ServiceList* serviceList_ = nullptr;
    std::unique_ptr<RowArt> art_;
    QLabel* moreLine_ = nullptr;
};

}  // namespace velmora
