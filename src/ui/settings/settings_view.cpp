#include "ui/settings/settings_view.h"

#include "core/brand.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "maintenance/bug_reporter.h"
#include "platform/login_item.h"
#include "ui/common/accessibility.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"
#include "ui/settings/bug_report_sheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QMouseEvent>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace velmora {

namespace {

constexpr int kValueColumn = 44;

void setColor(QWidget* w, const QColor& color) {
    QPalette pal = w->palette();
    // Text in a status colour keeps 4.5:1 against the window, light or dark.
    pal.setColor(QPalette::WindowText, SystemColor::textOn(color, pal));
    pal.setColor(QPalette::ButtonText, SystemColor::textOn(color, pal));
    w->setPalette(pal);
}

// A label on the left, the control on the right.
QHBoxLayout* row(QVBoxLayout* into, QLabel* label, QWidget* control) {
    auto* line = new QHBoxLayout;
    line->setSpacing(8);
    // A long label wraps: the form has a fixed width and must not cut its controls off.
    label->setWordWrap(true);
    line->addWidget(label, 1);
    line->addWidget(control);
    into->addLayout(line);
    Accessibility::labelFor(label, control);
    return line;
}

// A choice whose text wraps: a radio button cannot wrap its own text, so the text sits in a
// label beside it that passes its clicks on.
class ChoiceText : public QLabel {
  public:
    ChoiceText(QAbstractButton* choice, QWidget* parent) : QLabel(parent), choice_(choice) {
        setWordWrap(true);
        setBuddy(choice);
    }

  protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (choice_->isEnabled()) choice_->click();
        QLabel::mousePressEvent(event);
    }

  private:
    QAbstractButton* choice_;
};

QLabel* choiceRow(QVBoxLayout* into, QRadioButton* choice) {
    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    auto* text = new ChoiceText(choice, choice->parentWidget());
    line->addWidget(choice, 0, Qt::AlignTop);
    line->addWidget(text, 1);
    into->addLayout(line);
    return text;
}

QToolButton* linkButton(QWidget* parent, const char* symbol) {
    auto* b = new QToolButton(parent);
    b->setAutoRaise(true);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    b->setIcon(Symbols::icon(QString::fromLatin1(symbol)));
    b->setIconSize(QSize(16, 16));
    b->setCursor(Qt::PointingHandCursor);
    return b;
}

int sliderPosition(double threshold) {
    // The settings hold an offered value already; one set in code lands on the nearest.
    const double offered = nearestThreshold(threshold).value_or(kThresholdMax);
    return static_cast<int>(std::lround(offered / SettingsView::kThresholdStep));
}

}  // namespace

SettingsView::SettingsView(AppSettings& settings, Localizer& loc, Services services, QWidget* parent)
    : QWidget(parent), settings_(settings), loc_(loc), services_(std::move(services)) {
    Accessibility::useLocalizer(this, loc_);
    setObjectName(QStringLiteral("settingsView"));
    setFixedSize(kWidth, kHeight);
    build();
    restyle();
    retranslate();
    showSettings();
    // Asked of the system when the form is made and after each change: not a setting of the
    // program's own.
    showLoginResult();
    showStoreStatus();

    connect(&loc_, &Localizer::languageChanged, this, &SettingsView::retranslate);
    // The settings may change elsewhere (the tray, another window): the form follows.
    connect(&settings_, &AppSettings::alertsEnabledChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::cpuThresholdChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::menuBarMetricChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::languageChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::aggressiveServiceStopChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::collectProcessGPUChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::refreshIntervalChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::showSystemProcessesChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::rememberLoadSecondsChanged, this, &SettingsView::showSettings);
    connect(&settings_, &AppSettings::storeStatusChanged, this, &SettingsView::showStoreStatus);
}

SettingsView::~SettingsView() = default;

QVBoxLayout* SettingsView::section(QVBoxLayout* column, QLabel** header) {
    if (header) {
        *header = new QLabel(this);
        headers_ << *header;
        column->addWidget(*header);
    }
    auto* box = new QFrame(this);
    box->setFrameShape(QFrame::StyledPanel);
    box->setAutoFillBackground(true);
    box->setBackgroundRole(QPalette::Base);
    auto* inner = new QVBoxLayout(box);
    inner->setContentsMargins(12, 8, 12, 8);
    inner->setSpacing(6);
    column->addWidget(box);
    return inner;
}

QLabel* SettingsView::note(QVBoxLayout* into) {
    auto* l = new QLabel(this);
    l->setWordWrap(true);
    notes_ << l;
    into->addWidget(l);
    return l;
}

void SettingsView::build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = scroll_ = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll);
    auto* page = new QWidget(scroll);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(16, 12, 16, 16);
    column->setSpacing(6);
    scroll->setWidget(page);

    // What is wrong with the store, above everything else.
    storeNote_ = new QLabel(this);
    storeNote_->setObjectName(QStringLiteral("storeNote"));
    storeNote_->setWordWrap(true);
    storeNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    storeNote_->hide();
    column->addWidget(storeNote_);

    auto toggle = [this] {
        auto* t = new QCheckBox(this);
        toggles_ << t;
        return t;
    };

    // General.
    QVBoxLayout* general = section(column, &generalHeader_);
    loginLabel_ = new QLabel(this);
    login_ = toggle();
    row(general, loginLabel_, login_);
    loginNote_ = note(general);
    loginNote_->hide();
    metricLabel_ = new QLabel(this);
    metric_ = new QComboBox(this);
    for (MenuBarMetric m : allMenuBarMetrics())
        metric_->addItem(QString(), QVariant::fromValue(static_cast<int>(m)));
    row(general, metricLabel_, metric_);
    gpuLabel_ = new QLabel(this);
    gpu_ = toggle();
    row(general, gpuLabel_, gpu_);
    gpuNote_ = note(general);
    intervalLabel_ = new QLabel(this);
    interval_ = new QComboBox(this);
    for (double seconds : kRefreshIntervals)
        interval_->addItem(QString(), seconds);
    row(general, intervalLabel_, interval_);
    intervalNote_ = note(general);
    systemLabel_ = new QLabel(this);
    system_ = toggle();
    row(general, systemLabel_, system_);
    systemNote_ = note(general);
    rememberLabel_ = new QLabel(this);
    remember_ = new QComboBox(this);
    for (int seconds : kRememberCadences)
        remember_->addItem(QString(), seconds);
    row(general, rememberLabel_, remember_);
    rememberNote_ = note(general);
    forget_ = new QPushButton(this);
    forget_->setObjectName(QStringLiteral("forgetHistory"));
    forget_->setVisible(static_cast<bool>(services_.forgetHistory));
    auto* forgetLine = new QHBoxLayout;
    forgetLine->addWidget(forget_);
    forgetLine->addStretch(1);
    general->addLayout(forgetLine);
    historyNote_ = note(general);
    historyNote_->setObjectName(QStringLiteral("historyNote"));
    historyNote_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    historyNote_->hide();

    // Alerts; the threshold only while they are on.
    QVBoxLayout* alerts = section(column, &alertsHeader_);
    alertsLabel_ = new QLabel(this);
    alerts_ = toggle();
    row(alerts, alertsLabel_, alerts_);
    thresholdRow_ = new QWidget(this);
    auto* thresholdColumn = new QVBoxLayout(thresholdRow_);
    thresholdColumn->setContentsMargins(0, 0, 0, 0);
    auto* sliderLine = new QHBoxLayout;
    thresholdLabel_ = new QLabel(thresholdRow_);
    slider_ = new QSlider(Qt::Horizontal, thresholdRow_);
    // Positions count steps of five, so no position lies between two allowed values.
    slider_->setRange(kThresholdMin / kThresholdStep, kThresholdMax / kThresholdStep);
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    sliderValue_ = new QLabel(thresholdRow_);
    sliderValue_->setFixedWidth(kValueColumn);
    sliderValue_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sliderLine->addWidget(thresholdLabel_);
    Accessibility::labelFor(thresholdLabel_, slider_);
    sliderLine->addWidget(slider_, 1);
    sliderLine->addWidget(sliderValue_);
    thresholdColumn->addLayout(sliderLine);
    thresholdNote_ = new QLabel(thresholdRow_);
    thresholdNote_->setWordWrap(true);
    notes_ << thresholdNote_;
    thresholdColumn->addWidget(thresholdNote_);
    alerts->addWidget(thresholdRow_);

    // Service stop mode.
    QVBoxLayout* stop = section(column, &stopHeader_);
    stopLabel_ = new QLabel(this);
    stop->addWidget(stopLabel_);
    stopGroup_ = new QButtonGroup(this);
    safeStop_ = new QRadioButton(this);
    aggressiveStop_ = new QRadioButton(this);
    stopGroup_->addButton(safeStop_);
    stopGroup_->addButton(aggressiveStop_);
    safeStopText_ = choiceRow(stop, safeStop_);
    aggressiveStopText_ = choiceRow(stop, aggressiveStop_);
    stopNote_ = note(stop);

    // Language: "auto" first, then every supported language by its own name.
    QVBoxLayout* language = section(column, &languageHeader_);
    languageLabel_ = new QLabel(this);
    language_ = new QComboBox(this);
    language_->addItem(QString(), QStringLiteral("auto"));
    for (const QString& code : Localizer::supported()) {
        const QString name = Localizer::displayName(code);
        language_->addItem(name.isEmpty() ? code : name, code);
    }
    row(language, languageLabel_, language_);
    languageNote_ = note(language);

    // About, without a header.
    QVBoxLayout* about = section(column, nullptr);
    about_ = new QLabel(this);
    about_->setFont(ViewFonts::headline(font()));
    about->addWidget(about_);
    description_ = new QLabel(this);
    description_->setWordWrap(true);
    about->addWidget(description_);
    help_ = linkButton(this, "questionmark.circle");
    homepage_ = linkButton(this, "safari");
    report_ = linkButton(this, "exclamationmark.bubble");
    for (QToolButton* b : {help_, homepage_, report_}) {
        auto* line = new QHBoxLayout;
        line->addWidget(b);
        line->addStretch(1);
        about->addLayout(line);
    }
    column->addStretch(1);

    // The wheel scrolls the page: a picker or the slider takes it only once focused, so a
    // pointer passing over one on the way down changes nothing.
    for (QWidget* w : std::initializer_list<QWidget*>{metric_, interval_, remember_, language_, slider_}) {
        w->setFocusPolicy(Qt::StrongFocus);
        w->installEventFilter(this);
    }

    connect(login_, &QCheckBox::toggled, this, &SettingsView::changeLogin);
    connect(metric_, &QComboBox::activated, this, [this](int index) {
        settings_.setMenuBarMetric(static_cast<MenuBarMetric>(metric_->itemData(index).toInt()));
    });
    connect(gpu_, &QCheckBox::toggled, &settings_, &AppSettings::setCollectProcessGPU);
    connect(interval_, &QComboBox::activated, this,
            [this](int index) { settings_.setRefreshInterval(interval_->itemData(index).toDouble()); });
    connect(system_, &QCheckBox::toggled, &settings_, &AppSettings::setShowSystemProcesses);
    connect(remember_, &QComboBox::activated, this,
            [this](int index) { settings_.setRememberLoadSeconds(remember_->itemData(index).toInt()); });
    connect(forget_, &QPushButton::clicked, this, &SettingsView::forgetHistory);
    connect(alerts_, &QCheckBox::toggled, this, [this](bool on) {
        settings_.setAlertsEnabled(on);
        if (on && services_.onAuthorize) services_.onAuthorize();
    });
    connect(slider_, &QSlider::valueChanged, this,
            [this](int position) { settings_.setCpuThreshold(position * kThresholdStep); });
    connect(aggressiveStop_, &QRadioButton::toggled, &settings_, &AppSettings::setAggressiveServiceStop);
    connect(language_, &QComboBox::activated, this,
            [this](int index) { settings_.setLanguage(language_->itemData(index).toString()); });
    connect(help_, &QToolButton::clicked, this, [this] { open(helpUrl()); });
    connect(homepage_, &QToolButton::clicked, this, [this] { open(homepageUrl()); });
    connect(report_, &QToolButton::clicked, this, [this] {
        if (!sheet_) {
            BugReporter& reporter = services_.reporter ? *services_.reporter : BugReporter::shared();
            sheet_ = new BugReportSheet(reporter, loc_, this);
        }
        sheet_->open();
    });
}

void SettingsView::changeLogin(bool on) {
    platform::LoginItem* item = services_.loginItem;
    if (!item) return;
    const bool ok = item->setEnabled(on);
    const platform::LoginItem::Failure failure = item->lastFailure();
    // The toggle shows what the system now holds, whatever was asked.
    showLoginResult();
    if (!ok && !failure.path.isEmpty()) {
        loginOutcome_ = LoginOutcome::failed;
        loginFailurePath_ = failure.path;
        loginFailureReason_ = failure.reason;
    } else if (!ok || login_->isChecked() != on) {
        loginOutcome_ = LoginOutcome::refused;
    } else {
        loginOutcome_ = LoginOutcome::none;
    }
    retranslate();
}

void SettingsView::showLoginResult() {
    const QSignalBlocker block(login_);
    platform::LoginItem* item = services_.loginItem;
    const bool available = item && item->available();
    login_->setEnabled(available);
    login_->setChecked(available && item->enabled());
}

void SettingsView::showStoreStatus() {
    QStringList lines;
    if (settings_.storeWriteFailed()) lines << loc_.t("setStoreUnwritable", settings_.storePath());
    if (settings_.setAsideNoticePending())
        lines << loc_.t("setStoreSetAside", settings_.setAsidePath());
    else if (settings_.storeUnreadable())
        lines << loc_.t("setStoreUnreadable", settings_.storePath());
    storeNote_->setText(lines.join(QLatin1Char('\n')));
    storeNote_->setVisible(!lines.isEmpty());
}

void SettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    // Closing the window is when the last change is written, and the notice of a store moved
    // aside has been seen.
    settings_.flush();
    if (storeNote_->isVisibleTo(this)) settings_.acknowledgeSetAside();
}

bool SettingsView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && !w->hasFocus()) {
            // Handed to the page instead, which scrolls.
            const auto* wheel = static_cast<QWheelEvent*>(event);
            QWheelEvent forwarded(scroll_->viewport()->mapFromGlobal(w->mapToGlobal(wheel->position())),
                                  wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(),
                                  wheel->buttons(), wheel->modifiers(), wheel->phase(), wheel->inverted(),
                                  wheel->source());
            QCoreApplication::sendEvent(scroll_->viewport(), &forwarded);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsView::showSettings() {
    // Shown without writing back: only the user's own changes are stored.
    const QSignalBlocker b2(metric_), b3(gpu_), b4(interval_), b5(system_), b6(alerts_), b7(slider_), b8(safeStop_),
        b9(aggressiveStop_), b10(language_), b11(remember_);
    remember_->setCurrentIndex(remember_->findData(settings_.rememberLoadSeconds()));
    metric_->setCurrentIndex(metric_->findData(static_cast<int>(settings_.menuBarMetric())));
    gpu_->setChecked(settings_.collectProcessGPU());
    interval_->setCurrentIndex(interval_->findData(settings_.refreshInterval()));
    system_->setChecked(settings_.showSystemProcesses());
    alerts_->setChecked(settings_.alertsEnabled());
    thresholdRow_->setVisible(settings_.alertsEnabled());
    slider_->setValue(sliderPosition(settings_.cpuThreshold()));
    sliderValue_->setText(QString::number(slider_->value() * kThresholdStep) + QLatin1Char('%'));
    (settings_.aggressiveServiceStop() ? aggressiveStop_ : safeStop_)->setChecked(true);
    const int lang = language_->findData(settings_.language());
    language_->setCurrentIndex(lang >= 0 ? lang : 0);
}

void SettingsView::retranslate() {
    generalHeader_->setText(loc_.t("setGeneral"));
    loginLabel_->setText(loc_.t("setLoginAtStart"));
    switch (loginOutcome_) {
        case LoginOutcome::none:
            loginNote_->clear();
            break;
        case LoginOutcome::failed:
            loginNote_->setText(loc_.t("setLoginFailed", loginFailurePath_, loginFailureReason_));
            break;
        case LoginOutcome::refused:
            loginNote_->setText(loc_.t("setLoginRefused"));
            break;
    }
    loginNote_->setVisible(loginOutcome_ != LoginOutcome::none);
    metricLabel_->setText(loc_.t("setMenuBar"));
    for (int i = 0; i < metric_->count(); ++i) {
        switch (static_cast<MenuBarMetric>(metric_->itemData(i).toInt())) {
            case MenuBarMetric::cpu: metric_->setItemText(i, QStringLiteral("CPU")); break;
            case MenuBarMetric::memory: metric_->setItemText(i, loc_.t("dashMemory")); break;
            case MenuBarMetric::gpu: metric_->setItemText(i, QStringLiteral("GPU")); break;
            case MenuBarMetric::network: metric_->setItemText(i, loc_.t("dashNetwork")); break;
            case MenuBarMetric::temperature: metric_->setItemText(i, loc_.t("mbTemp")); break;
        }
    }
    gpuLabel_->setText(loc_.t("setCollectGPU"));
    gpuNote_->setText(loc_.t("setCollectGPUNote"));
    intervalLabel_->setText(loc_.t("setRefresh"));
    for (int i = 0; i < interval_->count(); ++i)
        interval_->setItemText(i, loc_.t("setRefreshUnit", static_cast<int>(interval_->itemData(i).toDouble())));
    intervalNote_->setText(loc_.t("setRefreshNote"));
    systemLabel_->setText(loc_.t("setShowSys"));
    systemNote_->setText(loc_.t("setShowSysNote"));
    rememberLabel_->setText(loc_.t("setRemember"));
    for (int i = 0; i < remember_->count(); ++i) {
        const int seconds = remember_->itemData(i).toInt();
        remember_->setItemText(i, seconds > 0 ? loc_.t("setRememberEvery", seconds) : loc_.t("setRememberOff"));
    }
    rememberNote_->setText(loc_.t("setRememberNote"));
    forget_->setText(loc_.t("setForget"));
    showHistoryOutcome();

    alertsHeader_->setText(loc_.t("setAlerts"));
    alertsLabel_->setText(loc_.t("setAlertToggle"));
    thresholdLabel_->setText(loc_.t("setCpuThreshold"));
    thresholdNote_->setText(loc_.t("setAlertDesc2"));

    stopHeader_->setText(loc_.t("setServiceStop"));
    stopLabel_->setText(loc_.t("setServiceStopMode"));
    for (auto [choice, text, key] : {std::tuple{safeStop_, safeStopText_, VL_KEY("setServiceStopSafe")},
                                     std::tuple{aggressiveStop_, aggressiveStopText_, VL_KEY("setServiceStopAggressive")}}) {
        text->setText(loc_.t(QString::fromLatin1(key)));
        choice->setAccessibleName(text->text());  // the button itself shows no text
    }
    stopNote_->setText(loc_.t("setServiceStopNote"));

    languageHeader_->setText(loc_.t("setLanguage"));
    languageLabel_->setText(loc_.t("setLanguageDisplay"));
    language_->setItemText(0, loc_.t("setLangAuto", loc_.systemLanguageName()));
    languageNote_->setText(loc_.t("setLangNote"));

    about_->setText(aboutText());
    description_->setText(loc_.t("setDescLine"));
    help_->setText(loc_.t("setHelp"));
    homepage_->setText(loc_.t("setHomepage"));
    report_->setText(loc_.t("bugTitle"));
    showStoreStatus();
    Accessibility::nameFromLabels(this);
}

void SettingsView::restyle() {
    const QFont base = font();
    const QColor secondary = SystemColor::secondary(palette());
    for (QLabel* h : headers_) {
        h->setFont(ViewFonts::caption(base));
        setColor(h, secondary);
    }
    for (QLabel* n : notes_) {
        n->setFont(ViewFonts::caption(base));
        setColor(n, secondary);
    }
    description_->setFont(ViewFonts::caption(base));
    // The toggles' checked state in green, as the system's switches are.
    for (QCheckBox* t : toggles_) {
        QPalette pal = t->palette();
        pal.setColor(QPalette::Highlight, SystemColor::green());
        t->setPalette(pal);
    }
    for (QToolButton* b : {help_, homepage_, report_})
        setColor(b, SystemColor::blue());
}

void SettingsView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && headers_.size() > 0 && !restyling_) {
        restyling_ = true;
        restyle();
        restyling_ = false;
    }
}

BugReportSheet* SettingsView::reportSheet() const {
    return sheet_;
}

QString SettingsView::aboutText() const {
    QString name = loc_.t("winSettings");
    const QString word = loc_.t("popSettings");
    if (!word.isEmpty()) name.remove(word);
    return name + Brand::version();
}

QUrl SettingsView::helpUrl() const {
    return Brand::url(loc_.t("helpMonitor"), Brand::helpPageFallback());
}

QUrl SettingsView::homepageUrl() const {
    return Brand::url(loc_.t("brandCompanyHomepage"), Brand::companyHomepageFallback());
}

void SettingsView::open(const QUrl& url) const {
    if (services_.openUrl)
        services_.openUrl(url);
    else
        QDesktopServices::openUrl(url);
}

void SettingsView::forgetHistory() {
    if (!services_.forgetHistory) return;
    const QString question = loc_.t("setForgetAsk");
    const bool yes = services_.confirm ? services_.confirm(question) : [&] {
        QMessageBox box(QMessageBox::Warning, windowTitle(), question, QMessageBox::NoButton, this);
        box.setTextFormat(Qt::PlainText);
        QPushButton* forget = box.addButton(loc_.t("setForget"), QMessageBox::DestructiveRole);
        box.setDefaultButton(box.addButton(loc_.t("anCancel"), QMessageBox::RejectRole));
        box.exec();
        return box.clickedButton() == forget;
    }();
    if (!yes) return;
    forget_->setEnabled(false);
    QPointer<SettingsView> self(this);
    services_.forgetHistory([self](bool ok, const QString& error) {
        if (!self) return;
        self->forget_->setEnabled(true);
        self->historyOutcome_ = ok ? HistoryOutcome::forgotten : HistoryOutcome::forgetFailed;
        self->historyDetail_ = error;
        self->showHistoryOutcome();
    });
}

void SettingsView::showHistoryProblem(const QString& asidePath, const QString& error) {
    historyOutcome_ = asidePath.isEmpty() ? HistoryOutcome::unavailable : HistoryOutcome::setAside;
    historyDetail_ = asidePath.isEmpty() ? error : asidePath;
    showHistoryOutcome();
}

void SettingsView::showHistoryOutcome() {
    switch (historyOutcome_) {
    case HistoryOutcome::none: historyNote_->clear(); break;
    case HistoryOutcome::forgotten: historyNote_->setText(loc_.t("setForgetDone")); break;
    case HistoryOutcome::forgetFailed: historyNote_->setText(loc_.t("setForgetFailed", historyDetail_)); break;
    case HistoryOutcome::setAside: historyNote_->setText(loc_.t("setHistorySetAside", historyDetail_)); break;
    case HistoryOutcome::unavailable: historyNote_->setText(loc_.t("setHistoryUnavailable", historyDetail_)); break;
    }
    historyNote_->setVisible(historyOutcome_ != HistoryOutcome::none);
}

}  // namespace velmora
