#include "ui/detail/process_detail_view.h"

#include "core/format.h"
#include "core/localizer.h"
#include "engine/metrics_feed.h"
#include "inspect/open_files_fetcher.h"
#include "inspect/process_actions.h"
#include "ui/common/accessibility.h"
#include "ui/common/elided_label.h"
#include "ui/common/one_line.h"
#include "ui/common/process_icons.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/time_chart.h"
#include "ui/common/view_fonts.h"
#include "ui/detail/process_detail_text.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace velmora {

namespace {

void setSecondary(QWidget* w) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, SystemColor::secondary(pal));
    w->setPalette(pal);
}

QLabel* caption(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setFont(ViewFonts::caption(parent->font()));
    setSecondary(l);
    return l;
}

QLabel* title(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setFont(ViewFonts::headline(parent->font()));
    return l;
}

// A section's box, drawn as a rounded panel.
QFrame* section(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setObjectName(QStringLiteral("pdSection"));
    f->setStyleSheet(QStringLiteral(
        "QFrame#pdSection { border: 1px solid palette(midlight); border-radius: 8px; }"));
    return f;
}

QString percent(double v) {
    return QString::number(std::isfinite(v) ? v : 0.0, 'f', 0) + QLatin1Char('%');
}

}  // namespace

ProcessDetailView::ProcessDetailView(MetricsFeed& feed, Localizer& loc, int32_t pid, Services services,
                                     QWidget* parent)
    : QWidget(parent),
      feed_(feed),
      loc_(loc),
      pid_(pid),
      services_(std::move(services)),
      priority_(services_.priority ? *services_.priority : ProcessPriority()),
      flow_(services_.actions) {
    Accessibility::useLocalizer(this, loc_);
    setObjectName(QStringLiteral("processDetail"));
    filesFetcher_ = std::make_unique<OpenFilesFetcher>(
        services_.filesCollector ? std::move(services_.filesCollector) : makeSystemCollector());
    if (!services_.fetchStatic)
        services_.fetchStatic = [](int32_t p) { return ProcessDetailFetcher::fetchStaticRaw(p); };
    if (!services_.fetchLive)
        services_.fetchLive = [](int32_t p) { return ProcessDetailFetcher::fetchLive(p); };

    // What the view knows on appearance: who the process is, the facts once, the priority,
    // and a file scan. Every action later goes to that process, never to a newcomer on its pid.
    const std::optional<ProcInfo> live = feed_.liveProcess(pid_);
    ref_ = flow_.control().stamp(pid_, live ? live->startTime : 0);
    info_ = services_.fetchStatic(pid_);
    nice_ = priority_.read(pid_);
    if (live) lastName_ = live->name;

    build();
    retranslate();
    refresh();
    loadOpenFiles();
    connect(&loc_, &Localizer::languageChanged, this, [this] {
        retranslate();
        refresh();
    });
    connect(&feed_, &MetricsFeed::currentChanged, this, [this] {
        if (isVisible()) refresh();
    });
}

ProcessDetailView::~ProcessDetailView() = default;

void ProcessDetailView::build() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 14);
    column->setSpacing(10);

    // Header.
    auto* header = new QHBoxLayout;
    header->setSpacing(8);
    icon_ = new QLabel(this);
    icon_->setFixedSize(32, 32);
    const QIcon icon = services_.icon ? services_.icon(pid_) : ProcessIconCache::genericIcon();
    icon_->setPixmap(icon.pixmap(32, 32));
    name_ = new ElidedLabel(Qt::ElideMiddle, this);
    name_->setObjectName(QStringLiteral("pdName"));
    name_->setFont(ViewFonts::sized(font(), 16, QFont::DemiBold));
    pidTag_ = caption(this);
    pidTag_->setObjectName(QStringLiteral("pdPidTag"));
    parent_ = caption(this);
    closeButton_ = new QToolButton(this);
    closeButton_->setIcon(Symbols::icon(QStringLiteral("xmark")));
    closeButton_->setAutoRaise(true);
    connect(closeButton_, &QToolButton::clicked, this, &ProcessDetailView::close);
    auto* nameColumn = new QVBoxLayout;
    nameColumn->setSpacing(2);
    nameColumn->addWidget(name_);
    auto* tags = new QHBoxLayout;
    tags->setSpacing(8);
    tags->addWidget(pidTag_);
    tags->addWidget(parent_);
    tags->addStretch(1);
    nameColumn->addLayout(tags);
    header->addWidget(icon_, 0, Qt::AlignTop);
    header->addLayout(nameColumn, 1);
    header->addWidget(closeButton_, 0, Qt::AlignTop);
    column->addLayout(header);

    // Gone block.
    goneBlock_ = new QWidget(this);
    goneBlock_->setObjectName(QStringLiteral("pdGoneBlock"));
    auto* gone = new QVBoxLayout(goneBlock_);
    gone->addStretch(1);
    auto* goneIcon = new QLabel(goneBlock_);
    goneIcon->setPixmap(Symbols::pixmap(QStringLiteral("xmark.octagon"), 40, SystemColor::secondary(palette()),
                                        devicePixelRatioF()));
    goneIcon->setAlignment(Qt::AlignCenter);
    goneIcon->setObjectName(QStringLiteral("pdGoneIcon"));
    goneText_ = new QLabel(goneBlock_);
    goneText_->setAlignment(Qt::AlignCenter);
    goneText_->setWordWrap(true);
    goneClose_ = new QPushButton(goneBlock_);
    connect(goneClose_, &QPushButton::clicked, this, &ProcessDetailView::close);
    gone->addWidget(goneIcon);
    gone->addWidget(goneText_);
    gone->addWidget(goneClose_, 0, Qt::AlignHCenter);
    gone->addStretch(2);
    column->addWidget(goneBlock_, 1);

    // Body.
    body_ = new QScrollArea(this);
    body_->setWidgetResizable(true);
    body_->setFrameShape(QFrame::NoFrame);
    body_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(body_);
    auto* rows = new QVBoxLayout(content);
    rows->setContentsMargins(0, 0, 4, 0);
    rows->setSpacing(12);

    liveStrip_ = new QWidget(content);
    auto* strip = new QGridLayout(liveStrip_);
    strip->setObjectName(QStringLiteral("pdLiveGrid"));
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setHorizontalSpacing(14);
    strip->setVerticalSpacing(0);
    const std::vector<ProcessDetailText::Stat> stats = ProcessDetailText::stats(loc_, std::nullopt, std::nullopt);
    for (size_t i = 0; i < stats.size(); ++i) {
        QLabel* cap = caption(liveStrip_);
        auto* value = new QLabel(liveStrip_);
        value->setFont(ViewFonts::monoDigits(font(), 13));
        QPalette pal = value->palette();
        pal.setColor(QPalette::WindowText, SystemColor::textOn(stats[i].color, pal));  // 4.5:1, light or dark
        value->setPalette(pal);
        const int row = static_cast<int>(i / 4) * 2, col = static_cast<int>(i % 4);
        strip->addWidget(cap, row, col);
        strip->addWidget(value, row + 1, col);
        stats_.emplace_back(cap, value);
    }
    rows->addWidget(liveStrip_);

    QFrame* chartBox = section(content);
    auto* chartColumn = new QVBoxLayout(chartBox);
    chartTitle_ = title(chartBox);
    // Processes are kept in the newest 180 snapshots only: the chart spans about that.
    chart_ = new TimeChart(chartBox, MetricsFeed::processHistoryLimit);
    chart_->setMaxY(std::nullopt);
    chart_->setValueText([](double v) { return percent(v); });
    chart_->setMinimumHeight(90);
    collecting_ = caption(chartBox);
    collecting_->setAlignment(Qt::AlignCenter);
    collecting_->setMinimumHeight(90);
    chartColumn->addWidget(chartTitle_);
    chartColumn->addWidget(chart_);
    chartColumn->addWidget(collecting_);
    rows->addWidget(chartBox);

    QFrame* factsBox = section(content);
    factsGrid_ = new QGridLayout(factsBox);
    factsGrid_->setObjectName(QStringLiteral("pdFactsGrid"));
    factsGrid_->setHorizontalSpacing(12);
    factsGrid_->setColumnStretch(1, 1);
    for (const ProcessDetailText::Fact& fact : ProcessDetailText::factCaptions(loc_))
        addFact(fact.mono);
    rows->addWidget(factsBox);

    QFrame* niceBox = section(content);
    auto* niceGrid = new QGridLayout(niceBox);
    niceTitle_ = title(niceBox);
    niceValue_ = new QLabel(niceBox);
    niceValue_->setObjectName(QStringLiteral("pdNiceValue"));
    niceValue_->setFont(ViewFonts::monoDigits(font(), 13));
    niceStepper_ = new QSpinBox(niceBox);
    niceStepper_->setRange(ProcessPriority::minimum(), ProcessPriority::maximum());
    niceStepper_->setKeyboardTracking(false);
    niceDesc_ = caption(niceBox);
    niceDesc_->setWordWrap(true);
    niceResult_ = caption(niceBox);
    niceResult_->setObjectName(QStringLiteral("pdNiceResult"));
    niceResult_->setWordWrap(true);
    connect(niceStepper_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!settingNice_) applyNice(v);
    });
    niceGrid->addWidget(niceTitle_, 0, 0);
    niceGrid->addWidget(niceValue_, 0, 1);
    niceGrid->addWidget(niceStepper_, 0, 2, Qt::AlignRight);
    niceGrid->addWidget(niceDesc_, 1, 0, 1, 3);
    niceGrid->addWidget(niceResult_, 2, 0, 1, 3);
    niceGrid->setColumnStretch(1, 1);
    rows->addWidget(niceBox);

    QFrame* filesBox = section(content);
    auto* filesGrid = new QGridLayout(filesBox);
    filesTitle_ = title(filesBox);
    filesRefresh_ = new QPushButton(filesBox);
    connect(filesRefresh_, &QPushButton::clicked, this, &ProcessDetailView::loadOpenFiles);
    filesBusy_ = new QProgressBar(filesBox);
    filesBusy_->setRange(0, 0);
    filesBusy_->setTextVisible(false);
    filesBusy_->setMaximumHeight(6);
    filesSummary_ = new QLabel(filesBox);
    filesSummary_->setObjectName(QStringLiteral("pdFilesSummary"));
    filesSummary_->setWordWrap(true);
    filesGrid->addWidget(filesTitle_, 0, 0);
    filesGrid->addWidget(filesRefresh_, 0, 1, Qt::AlignRight);
    filesGrid->addWidget(filesBusy_, 1, 0, 1, 2);
    filesGrid->addWidget(filesSummary_, 2, 0, 1, 2);
    filesGrid->setColumnStretch(0, 1);
    rows->addWidget(filesBox);

    QFrame* pathBox = section(content);
    auto* pathGrid = new QGridLayout(pathBox);
    pathTitle_ = title(pathBox);
    pathValue_ = new ElidedLabel(Qt::ElideMiddle, pathBox);
    pathValue_->setObjectName(QStringLiteral("pdPathValue"));
    pathValue_->setMono(true);
    copyButton_ = new QPushButton(pathBox);
    revealButton_ = new QPushButton(pathBox);
    connect(copyButton_, &QPushButton::clicked, this, [this] {
        if (info_ && !info_->path.isEmpty()) QApplication::clipboard()->setText(info_->path);
    });
    connect(revealButton_, &QPushButton::clicked, this, [this] {
        if (!info_ || info_->path.isEmpty()) return;
        if (services_.reveal)
            services_.reveal(info_->path);
        else
            ProcessActions().revealInFinder(info_->path);
    });
    pathGrid->addWidget(pathTitle_, 0, 0, 1, 3);
    pathGrid->addWidget(pathValue_, 1, 0);
    pathGrid->addWidget(copyButton_, 1, 1);
    pathGrid->addWidget(revealButton_, 1, 2);
    pathGrid->setColumnStretch(0, 1);
    rows->addWidget(pathBox);

    rows->addStretch(1);
    body_->setWidget(content);
    column->addWidget(body_, 1);

    // The actions sit under the scrolling body, not in it: a user who opened the view to end
    // the process finds them without scrolling, in any language and at any height.
    actionBar_ = new QWidget(this);
    actionBar_->setObjectName(QStringLiteral("pdActions"));
    auto* buttons = new QHBoxLayout(actionBar_);
    buttons->setContentsMargins(0, 0, 0, 0);
    result_ = caption(actionBar_);
    result_->setObjectName(QStringLiteral("pdResult"));
    result_->setWordWrap(true);
    quitButton_ = new QPushButton(actionBar_);
    quitButton_->setObjectName(QStringLiteral("pdQuit"));
    forceButton_ = new QPushButton(actionBar_);
    forceButton_->setObjectName(QStringLiteral("pdForceQuit"));
    connect(quitButton_, &QPushButton::clicked, this, [this] { requestKill(false); });
    connect(forceButton_, &QPushButton::clicked, this, [this] { requestKill(true); });
    buttons->addWidget(result_, 1);
    buttons->addWidget(quitButton_);
    buttons->addWidget(forceButton_);
    column->addWidget(actionBar_);
}

void ProcessDetailView::addFact(bool mono) {
    QWidget* box = factsGrid_->parentWidget();
    QLabel* label = caption(box);
    auto* value = new QLabel(box);
    value->setFont(ViewFonts::body(font()));
    if (mono) {
        QFont f = ViewFonts::sized(font(), 12);
        f.setFamily(QStringLiteral("monospace"));
        f.setStyleHint(QFont::Monospace);
        value->setFont(f);
        value->setWordWrap(true);
    }
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setTextFormat(Qt::PlainText);
    // Long values are cut at the edge rather than widening the panel; the tooltip has them.
    QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    policy.setHeightForWidth(mono);
    value->setSizePolicy(policy);
    value->setMinimumWidth(40);
    const int row = static_cast<int>(facts_.size());
    factsGrid_->addWidget(label, row, 0, Qt::AlignTop);
    factsGrid_->addWidget(value, row, 1);
    facts_.emplace_back(label, value);
}

void ProcessDetailView::retranslate() {
    goneText_->setText(loc_.t(QStringLiteral("pdGone")));
    goneClose_->setText(loc_.t(QStringLiteral("anClose")));
    closeButton_->setToolTip(loc_.t(QStringLiteral("anClose")));
    closeButton_->setAccessibleName(loc_.t(QStringLiteral("anClose")));
    icon_->setAccessibleName(loc_.t(QStringLiteral("a11yAppIcon")));
    if (auto* goneIcon = findChild<QLabel*>(QStringLiteral("pdGoneIcon"))) goneIcon->setAccessibleName(goneText_->text());
    niceStepper_->setAccessibleName(loc_.t(QStringLiteral("pdNice")));
    chart_->setAccessibleName(loc_.t(QStringLiteral("pdCpuTrend")));
    const std::vector<ProcessDetailText::Stat> stats = ProcessDetailText::stats(loc_, std::nullopt, std::nullopt);
    for (size_t i = 0; i < stats_.size(); ++i)
        stats_[i].first->setText(stats[i].caption);
    chartTitle_->setText(loc_.t(QStringLiteral("pdCpuTrend")));
    collecting_->setText(loc_.t(QStringLiteral("pdCollecting")));
    const std::vector<ProcessDetailText::Fact> captions = ProcessDetailText::factCaptions(loc_);
    for (size_t k = 0; k < facts_.size(); ++k)
        facts_[k].first->setText(captions[k].caption);
    niceTitle_->setText(loc_.t(QStringLiteral("pdNice")));
    niceDesc_->setText(loc_.t(QStringLiteral("pdNiceDesc")));
    filesTitle_->setText(loc_.t(QStringLiteral("pdOpenFilesPorts")));
    filesRefresh_->setText(loc_.t(QStringLiteral("pdRefresh")));
    pathTitle_->setText(loc_.t(QStringLiteral("pdPath")));
    copyButton_->setText(loc_.t(QStringLiteral("pdCopy")));
    revealButton_->setText(loc_.t(QStringLiteral("pdReveal")));
    quitButton_->setText(loc_.t(QStringLiteral("actQuit")));
    forceButton_->setText(loc_.t(QStringLiteral("actForceQuit")));
    refreshFacts();
    refreshFiles();
    showNiceValue();
}

void ProcessDetailView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
}

bool ProcessDetailView::gone() const {
    return !info_ && !live();
}

std::optional<ProcInfo> ProcessDetailView::live() const {
    std::optional<ProcInfo> p = feed_.liveProcess(pid_);
    // A later process under the same pid is not the one this view is about.
    if (p && p->startTime != 0 && ref_.startTime != 0 && p->startTime != ref_.startTime) p.reset();
    return p;
}

QString ProcessDetailView::displayName() const {
    return ProcessDetailText::name(lastName_, info_, pid_);
}

void ProcessDetailView::refresh() {
    const std::optional<ProcInfo> live = this->live();
    if (live) {
        lastName_ = live->name;
    } else if (info_ && !feed_.current().processes.empty()) {
        // Dropped from a listing that has processes: ask the system whether it still runs.
        info_ = services_.fetchStatic(pid_);
    }
    const bool isGone = !info_ && !live;
    name_->setFullText(displayName());
    pidTag_->setText(loc_.t(QStringLiteral("pdPidTag"), pid_));
    parent_->setVisible(info_.has_value());
    if (info_) parent_->setText(loc_.t(QStringLiteral("pdParentInline"), info_->ppid));
    goneBlock_->setVisible(isGone);
    body_->setVisible(!isGone);
    actionBar_->setVisible(!isGone);
    if (isGone) return;
    liveInfo_ = services_.fetchLive(pid_);
    refreshLive(live);
    refreshChart();
    refreshFacts();
}

void ProcessDetailView::refreshLive(const std::optional<ProcInfo>& live) {
    const std::vector<ProcessDetailText::Stat> stats = ProcessDetailText::stats(loc_, live, liveInfo_);
    for (size_t i = 0; i < stats_.size(); ++i)
        stats_[i].second->setText(stats[i].value);
}

void ProcessDetailView::refreshChart() {
    std::vector<MetricPoint> points = feed_.cpuHistory(pid_);
    const bool enough = points.size() >= 2;
    chart_->setVisible(enough);
    collecting_->setVisible(!enough);
    if (enough) chart_->setSeries({{std::move(points), SystemColor::blue(), true}});
}

void ProcessDetailView::refreshFacts() {
    if (!info_) return;
    const ProcessStaticInfo& i = *info_;
    const QString dash = QStringLiteral("-");
    const std::vector<ProcessDetailText::Fact> facts = ProcessDetailText::facts(loc_, i, QDateTime::currentDateTime());
    for (size_t k = 0; k < facts_.size(); ++k) {
        facts_[k].second->setText(facts[k].value);
        facts_[k].second->setToolTip(plainToolTip(facts[k].value));
    }
    pathValue_->setFullText(i.path.isEmpty() ? dash : i.path);
    copyButton_->setEnabled(!i.path.isEmpty());
    revealButton_->setEnabled(!i.path.isEmpty());
}

void ProcessDetailView::showNiceValue() {
    niceValue_->setText(nice_ ? QString::number(*nice_) : QStringLiteral("-"));
    niceStepper_->setEnabled(nice_.has_value());
    if (nice_) {
        settingNice_ = true;
        niceStepper_->setValue(*nice_);
        settingNice_ = false;
    }
    niceResult_->setText(niceMsg_);
    niceResult_->setVisible(!niceMsg_.isEmpty());
}

void ProcessDetailView::applyNice(int requested) {
    const int value = ProcessPriority::clamp(requested);
    switch (flow_.setPriority(ref_, value)) {
        case ActionOutcome::done:
            nice_ = priority_.read(pid_);
            niceMsg_ = loc_.t(QStringLiteral("pdNiceChanged"), nice_.value_or(value));
            break;
        case ActionOutcome::ended:
            // Whatever holds the pid now is not this process: its value is not shown.
            niceMsg_ = loc_.t(QStringLiteral("pdEnded"));
            nice_.reset();
            break;
        case ActionOutcome::refused:
            niceMsg_ = loc_.t(QStringLiteral("pdNiceFail"));
            // The stepper goes back to what the process really has.
            nice_ = priority_.read(pid_);
            break;
    }
    showNiceValue();
}

void ProcessDetailView::loadOpenFiles() {
    loadingFiles_ = true;
    filesFailed_ = false;
    const int generation = ++filesGeneration_;
    refreshFiles();
    QPointer<ProcessDetailView> self(this);
    filesFetcher_->fetch(pid_, [self, generation](std::optional<OpenFilesResult> result) {
        // A later request, or a closed view, makes this result stale.
        if (!self || generation != self->filesGeneration_) return;
        self->loadingFiles_ = false;
        self->filesFailed_ = !result;
        self->openFiles_ = std::move(result);
        self->refreshFiles();
    });
}

void ProcessDetailView::refreshFiles() {
    filesBusy_->setVisible(loadingFiles_);
    filesRefresh_->setEnabled(!loadingFiles_);
    if (loadingFiles_) {
        filesSummary_->clear();
        filesSummary_->hide();
        return;
    }
    filesSummary_->show();
    filesSummary_->setText(ProcessDetailText::filesSummary(loc_, filesFailed_ ? std::nullopt : openFiles_));
}

void ProcessDetailView::requestKill(bool force) {
    const ProcessAction action = force ? ProcessAction::forceQuit : ProcessAction::quit;
    const std::optional<ActionResult> result = flow_.run(action, {{ref_, displayName()}}, this);
    if (!result) return;
    if (!result->done.empty()) {
        setResult(loc_.t(QStringLiteral("pdQuitSent")));
        QPointer<ProcessDetailView> self(this);
        later(kCloseAfterSent, [self] {
            if (self) self->close();
        });
        return;
    }
    setResult(loc_.t(result->ended.empty() ? QStringLiteral("pdQuitFail") : QStringLiteral("pdEnded")));
    const int generation = resultGeneration_;
    QPointer<ProcessDetailView> self(this);
    later(kFailureShown, [self, generation] {
        if (self && self->resultGeneration_ == generation) self->setResult({});
    });
}

void ProcessDetailView::setResult(const QString& text) {
    ++resultGeneration_;
    resultMsg_ = text;
    Accessibility::announce(result_, text);
}

void ProcessDetailView::later(std::chrono::milliseconds delay, std::function<void()> action) {
    if (services_.after)
        services_.after(delay, std::move(action));
    else
        QTimer::singleShot(delay, this, std::move(action));
}

void ProcessDetailView::close() {
    emit closeRequested();
    if (services_.onClose) services_.onClose();
}

}  // namespace velmora
