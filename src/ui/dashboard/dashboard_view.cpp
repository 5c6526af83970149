#include "ui/dashboard/dashboard_view.h"

#include "core/format.h"
#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_feed.h"
#include "samplers/cpu_sampler.h"
#include "ui/common/range_picker.h"
#include "ui/common/accessibility.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QShowEvent>
#include <QVBoxLayout>

#include <cmath>

namespace velmora {

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Palette changes repaint and notify: only when the colour really changes.
void setColor(QLabel* label, const QColor& wanted) {
    // Text in a status colour keeps 4.5:1 against the window, light or dark.
    const QColor color = SystemColor::textOn(wanted, label->palette());
    if (label->palette().color(QPalette::WindowText) == color) return;
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

QPixmap dot(const QColor& color, qreal dpr) {
    QPixmap pix(QSize(12, 12) * dpr);
    pix.setDevicePixelRatio(dpr);
    pix.fill(Qt::transparent);
    QPainter p(&pix);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawEllipse(QRectF(0.5, 0.5, 11, 11));
    return pix;
}

// Symbols are drawn from their outlines: once per look, not once per tick.
void setSymbol(QLabel* label, const QString& symbol, int size, const QColor& color) {
    const qreal dpr = label->devicePixelRatioF();
    const QString key = symbol + u'/' + color.name(QColor::HexArgb) + u'/' + QString::number(dpr);
    if (label->property("symbolKey").toString() == key) return;
    label->setProperty("symbolKey", key);
    label->setPixmap(symbol.isEmpty() ? dot(color, dpr) : Symbols::pixmap(symbol, size, color, dpr));
}

double finite(double v) {
    return std::isfinite(v) ? v : 0;
}

QString percent(double v) {
    return Format::fixed(finite(v), 0) + u'%';
}

std::vector<MetricPoint> scaled(std::vector<MetricPoint> points, double divisor) {
    for (MetricPoint& p : points)
        p.value = finite(p.value) / divisor;
    return points;
}

}  // namespace

DashboardView::DashboardView(MetricsFeed& feed, AppSettings& settings, Localizer& loc, Hooks hooks, QWidget* parent)
    : QWidget(parent),
      feed_(feed),
      settings_(settings),
      loc_(loc),
      hooks_(std::move(hooks)),
      topology_(hooks_.topology ? hooks_.topology : &CoreTopology::shared()) {
    Accessibility::useLocalizer(this, loc_);
    setMinimumSize(minimumContent);
    build();
    retranslate();
    connect(&feed_, &MetricsFeed::currentChanged, this, &DashboardView::onSnapshot);
    connect(&loc_, &Localizer::languageChanged, this, [this] {
        retranslate();
        stale_ = true;
        if (live_) onSnapshot();
    });
}

DashboardView::~DashboardView() = default;

void DashboardView::build() {
    chartScroll_ = new ChartScroll(this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(12);

    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFixedWidth(390);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 8, 0);
    column->setSpacing(8);

    // Status strip with the disk badge.
    auto* strip = new QHBoxLayout;
    statusDot_ = new QLabel(content);
    statusText_ = new QLabel(content);
    statusText_->setFont(ViewFonts::headline(font()));
    strip->addWidget(statusDot_);
    strip->addWidget(statusText_, 1);
    badge_ = new QWidget(content);
    auto* badgeRow = new QHBoxLayout(badge_);
    badgeRow->setContentsMargins(0, 0, 0, 0);
    badgeRow->setSpacing(3);
    badgeIcon_ = new QLabel(badge_);
    badgeText_ = new QLabel(badge_);
    badgeText_->setFont(ViewFonts::caption(font()));
    badgeRow->addWidget(badgeIcon_);
    badgeRow->addWidget(badgeText_);
    strip->addWidget(badge_);
    column->addLayout(strip);

    auto* hintRow = new QHBoxLayout;
    hintIcon_ = new QLabel(content);
    hintIcon_->setPixmap(Symbols::pixmap(QStringLiteral("cursorarrow.rays"), 14, SystemColor::secondary(palette()),
                                         devicePixelRatioF()));
    hint_ = new QLabel(content);
    hint_->setFont(ViewFonts::caption(font()));
    hint_->setWordWrap(true);
    setColor(hint_, SystemColor::secondary(palette()));
    hintRow->addWidget(hintIcon_, 0, Qt::AlignTop);
    hintRow->addWidget(hint_, 1);
    column->addLayout(hintRow);

    // Live, or a stretch of the remembered record, for every load chart below.
    picker_ = new RangePicker(content);
    picker_->setHistoryAvailable(static_cast<bool>(hooks_.history));
    column->addWidget(picker_, 0, Qt::AlignRight);
    loader_ = new RangeLoader(hooks_.history, [] { return WallClock::now(); }, this);
    connect(picker_, &RangePicker::spanChosen, this, &DashboardView::showSpan);
    connect(loader_, &RangeLoader::changed, this, &DashboardView::applySpan);

    auto chartCard = [&](AnalysisKind kind) {
        auto* card = new ChartCard(kind, content);
        connect(card, &ChartCard::analyse, this, [this](AnalysisKind k) {
            if (hooks_.onAnalyze) hooks_.onAnalyze(k);
        });
        column->addWidget(card);
        return card;
    };
    cpu_ = chartCard(AnalysisKind::cpu);
    cpu_->chart()->setMaxY(100);
    cpu_->chart()->setValueText(percent);
    cpu_->chart()->setAxisUnit(AxisUnit::percent);
    gpu_ = chartCard(AnalysisKind::gpu);
    gpu_->chart()->setMaxY(100);
    gpu_->chart()->setValueText(percent);
    gpu_->chart()->setAxisUnit(AxisUnit::percent);

    coreCard_ = new Card(content);
    cores_ = new CoreGrid(coreCard_);
    coreCard_->addContent(cores_);
    column->addWidget(coreCard_);

    memory_ = chartCard(AnalysisKind::memory);
    memory_->chart()->setMaxY(100);
    memory_->chart()->setValueText(percent);
    memory_->chart()->setAxisUnit(AxisUnit::percent);
    memory_->footer();

    disk_ = chartCard(AnalysisKind::disk);
    disk_->chart()->setValueText([](double v) { return Format::bps(v); });
    disk_->chart()->setAxisUnit(AxisUnit::bytesPerSecond);
    // A quiet disk is not stretched to fill the chart.
    disk_->chart()->setMinimumTop(kMiB);
    disk_->footer();
    network_ = chartCard(AnalysisKind::network);
    network_->chart()->setValueText([](double v) { return Format::bps(v); });
    network_->chart()->setAxisUnit(AxisUnit::bytesPerSecond);
    network_->chart()->setMinimumTop(1024);
    network_->footer();

    tempCard_ = new Card(content);
    auto* thermalRow = new QWidget(tempCard_);
    auto* thermalLine = new QHBoxLayout(thermalRow);
    thermalLine->setContentsMargins(0, 0, 0, 0);
    thermalIcon_ = new QLabel(thermalRow);
    thermal_ = new QLabel(thermalRow);
    thermalLine->addWidget(thermalIcon_);
    thermalLine->addWidget(thermal_, 1);
    tempCard_->addContent(thermalRow);
    auto* chipRow = new QWidget(tempCard_);
    auto* chipLine = new QHBoxLayout(chipRow);
    chipLine->setContentsMargins(0, 0, 0, 0);
    for (TempChip*& chip : chips_) {
        chip = new TempChip(chipRow);
        chipLine->addWidget(chip, 1);
    }
    tempCard_->addContent(chipRow);
    hottest_ = new TimeChart(tempCard_);
    // The curve keeps its 56 points; the time marks take room of their own below it.
    hottest_->setFixedHeight(70);
    hottest_->setValueText([](double v) { return Format::fixed(v, 0) + QStringLiteral("°C"); });
    hottest_->setAxisUnit(AxisUnit::celsius);
    tempCard_->addContent(hottest_);
    power_ = new QLabel(tempCard_);
    power_->setFont(ViewFonts::caption(font()));
    power_->setWordWrap(true);
    // Lines kept from the start: the scroll column sizes cards before a wrapped text
    // arrives, and would squeeze the curve over it.
    power_->setMinimumHeight(3 * QFontMetrics(power_->font()).lineSpacing() + 2);
    power_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    tempCard_->addContent(power_);
    column->addWidget(tempCard_);

    batteryCard_ = new Card(content);
    batteryRow_ = new QWidget(batteryCard_);
    auto* batteryLine = new QHBoxLayout(batteryRow_);
    batteryLine->setContentsMargins(0, 0, 0, 0);
    batteryIcon_ = new QLabel(batteryRow_);
    battery_ = new QLabel(batteryRow_);
    battery_->setWordWrap(true);
    battery_->setMinimumHeight(2 * QFontMetrics(battery_->font()).lineSpacing() + 2);
    batteryLine->addWidget(batteryIcon_);
    batteryLine->addWidget(battery_, 1);
    batteryCard_->addContent(batteryRow_);
    fanBox_ = new QWidget(batteryCard_);
    auto* fanColumn = new QVBoxLayout(fanBox_);
    fanColumn->setContentsMargins(0, 0, 0, 0);
    batteryCard_->addContent(fanBox_);
    fansStopped_ = new QLabel(batteryCard_);
    fansStopped_->setFont(ViewFonts::caption(font()));
    setColor(fansStopped_, SystemColor::secondary(palette()));
    batteryCard_->addContent(fansStopped_);
    noBatteryFans_ = new QLabel(QStringLiteral("-"), batteryCard_);
    setColor(noBatteryFans_, SystemColor::secondary(palette()));
    batteryCard_->addContent(noBatteryFans_);
    column->addWidget(batteryCard_);
    column->addStretch(1);

    // Dragging or wheeling any chart moves them all, so one moment lines up across the cards.
    for (TimeChart* chart : charts())
        chart->setScroll(chartScroll_);
    liveSeconds_ = cpu_->chart()->viewport().visibleSeconds();

    scroll_->setWidget(content);
    keepColumnHeight();
    row->addWidget(scroll_);
    // A card scrolled into view takes the data it missed.
    connect(scroll_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        if (live_) updateCards(false);
    });

    processes_ = new ProcessPanel(settings_, loc_, hooks_.processes, this);
    row->addWidget(processes_, 1);
}

void DashboardView::retranslate() {
    hint_->setText(loc_.t(QStringLiteral("dashHint")));
    cpu_->setTitle(QStringLiteral("CPU"));
    gpu_->setTitle(QStringLiteral("GPU"));
    coreCard_->setTitle(loc_.t(QStringLiteral("dashCores")));
    cores_->setAccessibleName(loc_.t(QStringLiteral("dashCores")));
    cores_->setAccessibleDescription(loc_.t(QStringLiteral("dashCoreHistory")));
    memory_->setTitle(loc_.t(QStringLiteral("dashMemory")));
    disk_->setTitle(loc_.t(QStringLiteral("dashDiskIO")));
    network_->setTitle(loc_.t(QStringLiteral("dashNetwork")));
    const ChartAxis::TimeMarkTexts marks{loc_.t(QStringLiteral("dashAxisNow")), loc_.t(QStringLiteral("dashAxisSecAgo")),
                                         loc_.t(QStringLiteral("dashAxisMinAgo")), loc_.t(QStringLiteral("dashAxisHourAgo"))};
    for (TimeChart* chart : charts())
        chart->setTimeMarkTexts(marks);
    tempCard_->setTitle(loc_.t(QStringLiteral("dashTempPower")));
    batteryCard_->setTitle(loc_.t(QStringLiteral("dashBatteryFan")));
    chips_[0]->setLabel(QStringLiteral("CPU"));
    chips_[1]->setLabel(QStringLiteral("GPU"));
    chips_[2]->setLabel(loc_.t(QStringLiteral("tempHottest")));
    fansStopped_->setText(loc_.t(QStringLiteral("fanStopped")));
    for (ChartCard* card : {cpu_, gpu_, memory_, disk_, network_}) {
        card->setToolTip(loc_.t(QStringLiteral("dblAnalyzeKind"),
                                loc_.t(titleKey(card->kind()))));
        card->chart()->setAccessibleName(card->title());
    }
    hottest_->setAccessibleName(loc_.t(QStringLiteral("tempHottest")));
    // The symbols beside the texts, for screen readers.
    statusDot_->setAccessibleName(loc_.t(QStringLiteral("a11yLoadLevel")));
    badgeIcon_->setAccessibleName(loc_.t(QStringLiteral("colDisk")));
    thermalIcon_->setAccessibleName(loc_.t(QStringLiteral("mbTemp")));
    batteryIcon_->setAccessibleName(loc_.t(QStringLiteral("a11yBattery")));
    hintIcon_->setAccessibleName(loc_.t(QStringLiteral("a11yTip")));
}

void DashboardView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    QWidget* w = window();
    if (w != watchedWindow_) {
        if (watchedWindow_) watchedWindow_->removeEventFilter(this);
        watchedWindow_ = w;
        if (w && w != this) w->installEventFilter(this);
    }
    updateLive();
}

void DashboardView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Closed, not minimised (the window system's own hide): a window opened again starts
    // at the newest data.
    if (!event->spontaneous()) chartScroll_->scrollTo(std::nullopt);
    updateLive();
}

void DashboardView::closeEvent(QCloseEvent* event) {
    processes_->resetView();
    QWidget::closeEvent(event);
}

bool DashboardView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindow_ && event->type() == QEvent::WindowStateChange) updateLive();
    // The window hosting the view is kept when closed; what the user typed and picked is not.
    if (watched == watchedWindow_ && event->type() == QEvent::Close) processes_->resetView();
    return QWidget::eventFilter(watched, event);
}

void DashboardView::updateLive() {
    const bool live = isVisible() && !(window()->windowState() & Qt::WindowMinimized);
    if (live == live_) return;
    live_ = live;
    for (SpinningFanView* fan : fanViews_)
        fan->setLive(live_);
    // Ticks missed while away are caught up at once.
    if (live_ && stale_) onSnapshot();
}

void DashboardView::onSnapshot() {
    chartScroll_->settle(feed_.current().time);
    if (!live_) {
        stale_ = true;
        return;
    }
    stale_ = false;
    updateCards(true);
    processes_->setProcesses(feed_.current().processes);
}

bool DashboardView::due(Card* card, bool all) {
    // On a tick every card is stale; only those in sight take the data now.
    if (all) card->setStale(true);
    if (!card->stale() || !card->exposed()) return false;
    card->setStale(false);
    ++cardUpdates_;
    return true;
}

void DashboardView::updateCards(bool all) {
    const Snapshot& s = feed_.current();
    if (all) updateStatus(s);
    updateCharts(s, all);
    if (due(coreCard_, all)) updateCores(s);
    if (due(tempCard_, all)) updateTemps(s);
    if (due(batteryCard_, all)) updateBatteryFans(s);
    keepColumnHeight();
}

void DashboardView::keepColumnHeight() {
    // The scroll area sizes a column of wrapped labels by their height for its width, which
    // falls short of the cards' own heights; the cards' total is the least it may have.
    QWidget* content = scroll_->widget();
    const int h = content->sizeHint().height();
    if (content->minimumHeight() != h) content->setMinimumHeight(h);
}

void DashboardView::updateStatus(const Snapshot& s) {
    const Severity severity = s.severity();
    statusColor_ = SystemColor::forSeverity(severity);
    setSymbol(statusDot_, QString(), 12, statusColor_);
    statusText_->setText(loc_.t(QStringLiteral("dashStatus"), loc_.t(QString::fromLatin1(DashboardRules::severityKey(severity)))));
    badgeColor_ = DashboardRules::diskBadgeColor(s.diskPercent);
    const QColor color = badgeColor_.value_or(SystemColor::secondary(palette()));
    setSymbol(badgeIcon_, QStringLiteral("exclamationmark.triangle.fill"), 12, color);
    badgeIcon_->setVisible(badgeColor_.has_value());
    badgeText_->setText(loc_.t(QStringLiteral("dashDiskUsage"), Format::fixed(finite(s.diskPercent), 0) + u'%'));
    setColor(badgeText_, color);
    badge_->setToolTip(loc_.t(badgeColor_ ? QStringLiteral("diskFullWarn") : QStringLiteral("diskBadgeHelp")));
}

void DashboardView::showSpan(HistorySpan span) {
    // The picker refuses what cannot be shown; the charts follow what it shows.
    picker_->setSpan(span);
    loader_->setSpan(picker_->span());
}

void DashboardView::applySpan() {
    const bool live = loader_->span() == HistorySpan::live;
    // A range starts whole in view, and live at the newest data.
    chartScroll_->scrollTo(std::nullopt);
    const double seconds = live ? liveSeconds_ : std::chrono::duration<double>(spanLength(loader_->span())).count();
    static const StoredRange reading;  // what a span still being read shows: nothing
    const StoredRange& range = loader_->range() ? *loader_->range() : reading;
    const auto gapSpans = live ? std::vector<std::pair<TimePoint, TimePoint>>{} : range.gapSpans();
    for (ChartCard* card : {cpu_, gpu_, memory_, disk_, network_}) {
        card->chart()->setVisibleSeconds(seconds);
        card->chart()->setGaps(gapSpans);
        card->setStale(true);
    }
    if (live) {
        // The feed's history comes back with the next update.
        if (live_) updateCharts(feed_.current(), false);
        return;
    }
    // Each record's mean as the live line is drawn, its peak as a fainter line above it.
    auto stored = [&](history::Series series, double divisor, const QColor& color) {
        QColor faint = color;
        faint.setAlphaF(0.55f);
        return std::vector<TimeChart::Series>{{range.points(series, false, divisor), color, true},
                                              {range.points(series, true, divisor), faint, false}};
    };
    auto both = [&](history::Series a, history::Series b, double divisor) {
        auto out = stored(a, divisor, SystemColor::blue());
        for (TimeChart::Series& s : stored(b, divisor, SystemColor::orange()))
            out.push_back(std::move(s));
        return out;
    };
    cpu_->chart()->setSeries(stored(history::Series::cpuPercent, 1, DashboardRules::loadColor(feed_.current().cpuTotal)));
    gpu_->chart()->setSeries(stored(history::Series::gpuPercent, 1, DashboardRules::loadColor(feed_.current().gpuPercent)));
    memory_->chart()->setSeries(stored(history::Series::memPercent, 1, SystemColor::blue()));
    disk_->chart()->setSeries(both(history::Series::diskReadBps, history::Series::diskWriteBps, 1));
    network_->chart()->setSeries(both(history::Series::netInBps, history::Series::netOutBps, 1));
}

void DashboardView::updateCharts(const Snapshot& s, bool all) {
    // A remembered range stays as it was read; the cards' figures of now still follow.
    const bool live = loader_->span() == HistorySpan::live;
    auto loadCard = [&](ChartCard* card, SnapshotField field) {
        if (!due(card, all)) return;
        const double v = finite(s.*field);
        const QColor color = DashboardRules::loadColor(v);
        card->setValue(percent(v), color);
        if (live) card->chart()->setSeries({{feed_.series(field), color, true}});
    };
    loadCard(cpu_, &Snapshot::cpuTotal);
    loadCard(gpu_, &Snapshot::gpuPercent);
    if (due(memory_, all)) {
        memory_->setValue(percent(s.memPercent), SystemColor::blue());
        if (live) memory_->chart()->setSeries({{feed_.series(&Snapshot::memPercent), SystemColor::blue(), true}});
        memory_->footer()->setText(loc_.t(QStringLiteral("dashSwap"), Format::bytes(s.swapUsed)));
    }
    // Each curve is named in its colour with its figure, so two rates are never ambiguous.
    auto legend = [&](QLabel* footer, const char* firstKey, double first, const char* secondKey, double second) {
        footer->setText(QStringLiteral("<span style='color:%1'>■</span> %2&nbsp;&nbsp; <span style='color:%3'>■</span> %4")
                            .arg(SystemColor::blue().name(), loc_.t(QString::fromLatin1(firstKey), Format::bps(first)).toHtmlEscaped(),
                                 SystemColor::orange().name(),
                                 loc_.t(QString::fromLatin1(secondKey), Format::bps(second)).toHtmlEscaped()));
    };
    if (due(disk_, all)) {
        disk_->setValue(Format::bps(finite(s.diskReadBps) + finite(s.diskWriteBps)));
        legend(disk_->footer(), "dashLegendRead", s.diskReadBps, "dashLegendWrite", s.diskWriteBps);
        if (live)
            disk_->chart()->setSeries(
            {{scaled(feed_.series(&Snapshot::diskReadBps), 1), SystemColor::blue(), true, 1.0, loc_.t(QStringLiteral("dashLegendRead"))},
             {scaled(feed_.series(&Snapshot::diskWriteBps), 1), SystemColor::orange(), true, 1.0,
              loc_.t(QStringLiteral("dashLegendWrite"))}});
    }
    if (due(network_, all)) {
        network_->setValue(QStringLiteral("↓ ") + Format::bps(s.netInBps) + QStringLiteral("  ↑ ") +
                           Format::bps(s.netOutBps));
        legend(network_->footer(), "dashLegendDown", s.netInBps, "dashLegendUp", s.netOutBps);
        if (live)
            network_->chart()->setSeries(
            {{scaled(feed_.series(&Snapshot::netInBps), 1), SystemColor::blue(), true, 1.0, loc_.t(QStringLiteral("dashLegendDown"))},
             {scaled(feed_.series(&Snapshot::netOutBps), 1), SystemColor::orange(), true, 1.0,
              loc_.t(QStringLiteral("dashLegendUp"))}});
    }
}

void DashboardView::updateCores(const Snapshot& s) {
    cores_->setClusters(DashboardRules::coreClusters(*topology_, s.cpuPerCore, loc_),
                        loc_.t(QStringLiteral("dashCoreAvg")));
    cores_->setHistory(feed_.history());
}

void DashboardView::updateTemps(const Snapshot& s) {
    const QColor secondary = SystemColor::secondary(palette());
    setSymbol(thermalIcon_, QStringLiteral("thermometer.medium"), 14, secondary);
    thermal_->setText(loc_.t(QString::fromLatin1(DashboardRules::thermalKey(s.thermalState))));
    chips_[0]->setTemp(s.cpuTempC);
    chips_[1]->setTemp(s.gpuTempC);
    chips_[2]->setTemp(s.hottestC);

    // The hottest reading of the whole history (the history keeps it per snapshot), so the
    // curve scrolls back as far as the charts above it.
    std::vector<MetricPoint> points;
    points.reserve(feed_.history().size());
    for (const Snapshot& h : feed_.history()) {
        if (!h.hottestC || !std::isfinite(*h.hottestC)) continue;
        const int64_t ns = std::chrono::duration_cast<std::chrono::nanoseconds>(h.time.time_since_epoch()).count();
        points.push_back({{ns, 0}, h.time, *h.hottestC});
    }
    const bool hasHottest = s.hottestC && std::isfinite(*s.hottestC);
    hottestColor_ = hasHottest ? DashboardRules::hottestColor(*s.hottestC) : SystemColor::secondaryLabel();
    // Room up to 100 °C at least, so a calm machine's curve sits low and a hot one high.
    double top = 100;
    for (const MetricPoint& p : points)
        top = std::max(top, p.value * 1.1);
    // A round top for the axis label, and one that changes less often.
    hottest_->setMaxY(std::ceil(top / 10) * 10);
    hottest_->setSeries({{std::move(points), hottestColor_, false}});

    QStringList power;
    if (s.cpuPowerW && std::isfinite(*s.cpuPowerW))
        power << QStringLiteral("CPU ") + Format::fixed(*s.cpuPowerW, 1) + QStringLiteral(" W");
    if (s.gpuPowerW && std::isfinite(*s.gpuPowerW))
        power << QStringLiteral("GPU ") + Format::fixed(*s.gpuPowerW, 1) + QStringLiteral(" W");
    if (s.anePowerW && std::isfinite(*s.anePowerW))
        power << loc_.t(QStringLiteral("aneLabel")) + u' ' + Format::fixed(*s.anePowerW, 1) + QStringLiteral(" W");
    // The note explains missing figures; beside figures it would contradict them.
    if (power.isEmpty()) power << loc_.t(QStringLiteral("powerNote"));
    power_->setText(power.join(QStringLiteral("  ·  ")));
    setColor(power_, secondary);
}

void DashboardView::updateBatteryFans(const Snapshot& s) {
    const BatteryInfo& b = s.battery;
    batteryRow_->setVisible(b.present);
    if (b.present) {
        setSymbol(batteryIcon_, b.charging ? QStringLiteral("battery.100.bolt") : QStringLiteral("battery.75"), 18,
                  b.percent < 20 ? SystemColor::red() : SystemColor::secondary(palette()));
        QStringList parts{Format::fixed(finite(b.percent), 0) + u'%'};
        parts << loc_.t(b.charging ? QStringLiteral("batCharging")
                        : b.acPower ? QStringLiteral("batAC")
                                    : QStringLiteral("batOnBattery"));
        if (b.charging && b.timeToFullMin && *b.timeToFullMin >= 0)
            parts << loc_.t(QStringLiteral("batTimeFull"), Format::duration(*b.timeToFullMin * 60.0));
        else if (!b.charging && b.timeToEmptyMin && *b.timeToEmptyMin >= 0)
            parts << loc_.t(QStringLiteral("batTimeLeft"), Format::duration(*b.timeToEmptyMin * 60.0));
        if (b.cycleCount) parts << loc_.t(QStringLiteral("batCycles"), *b.cycleCount);
        if (b.healthPercent && std::isfinite(*b.healthPercent))
            parts << loc_.t(QStringLiteral("batHealth"), Format::fixed(*b.healthPercent, 0) + u'%');
        battery_->setText(parts.join(QStringLiteral("  ·  ")));
    }

    // Rows are kept and reused, so a steady fan keeps its animation.
    auto* fanColumn = static_cast<QVBoxLayout*>(fanBox_->layout());
    while (fanViews_.size() > s.fans.size()) {
        delete fanViews_.back()->parentWidget();
        fanViews_.pop_back();
        fanLabels_.pop_back();
    }
    while (fanViews_.size() < s.fans.size()) {
        auto* row = new QWidget(fanBox_);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        auto* view = new SpinningFanView(row);
        auto* label = new QLabel(row);
        line->addWidget(view);
        line->addWidget(label, 1);
        fanColumn->addWidget(row);
        view->setLive(live_);
        fanViews_.push_back(view);
        fanLabels_.push_back(label);
    }
    bool allSlow = !s.fans.empty();
    for (size_t i = 0; i < s.fans.size(); ++i) {
        const FanInfo& f = s.fans[i];
        fanViews_[i]->setFan(f);
        allSlow = allSlow && !(f.rpm >= 1);
        const QString caption =
            f.target < 1 ? loc_.t(QStringLiteral("fanTargetStop"))
                         : loc_.t(QStringLiteral("fanTarget"), Format::fixed(finite(f.target), 0)) + QStringLiteral("  ·  ") +
                               loc_.t(QStringLiteral("fanRange"), Format::fixed(finite(f.minRPM), 0),
                                      Format::fixed(finite(f.maxRPM), 0));
        fanLabels_[i]->setText(
            QStringLiteral("%1  <b>%2 RPM</b><br><small>%3</small>")
                .arg(loc_.t(QStringLiteral("fanN"), static_cast<qulonglong>(i + 1)).toHtmlEscaped(),
                     Format::fixed(finite(f.rpm), 0), caption.toHtmlEscaped()));
    }
    fansStopped_->setVisible(allSlow);
    noBatteryFans_->setVisible(!b.present && s.fans.empty());
}

QString DashboardView::statusText() const {
    return statusText_->text();
}
QString DashboardView::diskBadgeText() const {
    return badgeText_->text();
}
QString DashboardView::diskBadgeHelp() const {
    return badge_->toolTip();
}
std::vector<TimeChart*> DashboardView::charts() const {
    return {cpu_->chart(), gpu_->chart(), memory_->chart(), disk_->chart(), network_->chart(), hottest_};
}
ChartCard* DashboardView::chartCard(AnalysisKind kind) const {
    switch (kind) {
        case AnalysisKind::cpu:
            return cpu_;
        case AnalysisKind::gpu:
            return gpu_;
        case AnalysisKind::memory:
            return memory_;
        case AnalysisKind::disk:
            return disk_;
        case AnalysisKind::network:
            return network_;
    }
    return cpu_;
}
QString DashboardView::swapText() const {
    return memory_->footer()->text();
}
QString DashboardView::thermalText() const {
    return thermal_->text();
}
QString DashboardView::powerText() const {
    return power_->text();
}
QString DashboardView::batteryText() const {
    return batteryRow_->isVisibleTo(batteryCard_) ? battery_->text() : QString();
}
QStringList DashboardView::fanTexts() const {
    QStringList out;
    for (QLabel* l : fanLabels_)
        out << l->text();
    return out;
}
bool DashboardView::fansStoppedShown() const {
    return fansStopped_->isVisibleTo(batteryCard_);
}

}  // namespace velmora
