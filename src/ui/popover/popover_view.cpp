#include "ui/popover/popover_view.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_feed.h"
#include "ui/common/accessibility.h"
#include "ui/common/elided_label.h"
#include "ui/common/gauge_row.h"
#include "ui/common/one_line.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora {

namespace {

constexpr int kSymbolSize = 14;
constexpr int kCpuColumn = 48;
constexpr int kDotSize = 10;

// The filled circle of the header, in the severity's colour.
class Dot : public QWidget {
  public:
    explicit Dot(QWidget* parent) : QWidget(parent) { setFixedSize(kDotSize, kDotSize); }
    void setColor(const QColor& c) {
        if (c == color_) return;
        color_ = c;
        update();
    }
    const QColor& color() const { return color_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(color_);
        p.drawEllipse(rect());
    }

  private:
    QColor color_;
};


void setColor(QLabel* label, const QColor& color) {
    QPalette pal = label->palette();
    // Text in a status colour keeps 4.5:1 against the window, light or dark.
    pal.setColor(QPalette::WindowText, SystemColor::textOn(color, pal));
    label->setPalette(pal);
}

void setText(QLabel* label, const QString& text) {
    if (label->text() != text) label->setText(text);
}

QLabel* symbolLabel(QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setFixedSize(kSymbolSize + 2, kSymbolSize + 2);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

}  // namespace

PopoverView::PopoverView(MetricsFeed& feed, AppSettings& settings, Localizer& loc, Actions actions,
                         QWidget* parent)
    : QWidget(parent), feed_(feed), settings_(settings), loc_(loc), actions_(std::move(actions)) {
    Accessibility::useLocalizer(this, loc_);
    setObjectName(QStringLiteral("popoverView"));
    buildLayout();
    retranslate();
    refresh();
    connect(&feed_, &MetricsFeed::currentChanged, this, [this] {
        if (isVisible()) refresh();
    });
    connect(&loc_, &Localizer::languageChanged, this, [this] {
        retranslate();
        refresh();
    });
    connect(&settings_, &AppSettings::menuBarMetricChanged, this, [this] {
        if (isVisible()) refresh();
    });
}

void PopoverView::buildLayout() {
    setFixedWidth(contentWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(padding, padding, padding, padding);
    column->setSpacing(8);

    auto* headerRow = new QHBoxLayout;
    headerRow->setSpacing(6);
    severityDot_ = new Dot(this);
    header_ = new QLabel(this);
    header_->setObjectName(QStringLiteral("header"));
    headerRow->addWidget(severityDot_);
    headerRow->addWidget(header_);
    headerRow->addStretch(1);
    column->addLayout(headerRow);

    for (GaugeRow*& g : gauges_) {
        g = new GaugeRow(this);
        column->addWidget(g);
    }

    powerRow_ = new QWidget(this);
    auto* power = new QHBoxLayout(powerRow_);
    power->setContentsMargins(0, 0, 0, 0);
    power->setSpacing(4);
    batteryIcon_ = symbolLabel(powerRow_);
    batteryText_ = new QLabel(powerRow_);
    fanIcon_ = symbolLabel(powerRow_);
    fanText_ = new QLabel(powerRow_);
    power->addWidget(batteryIcon_);
    power->addWidget(batteryText_);
    power->addSpacing(10);
    power->addWidget(fanIcon_);
    power->addWidget(fanText_);
    power->addStretch(1);
    column->addWidget(powerRow_);

    auto* thermal = new QHBoxLayout;
    thermal->setSpacing(4);
    thermalIcon_ = symbolLabel(this);
    thermalText_ = new QLabel(this);
    cpuTemp_ = new QLabel(this);
    gpuTemp_ = new QLabel(this);
    thermal->addWidget(thermalIcon_);
    thermal->addWidget(thermalText_);
    thermal->addWidget(cpuTemp_);
    thermal->addWidget(gpuTemp_);
    thermal->addStretch(1);
    column->addLayout(thermal);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    column->addWidget(divider);

    // The section's one-line states: nothing busy, or not measured yet.
    auto stateRow = [this, column](QWidget*& row, QLabel*& icon, QLabel*& text) {
        row = new QWidget(this);
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(6);
        icon = symbolLabel(row);
        text = new QLabel(row);
        line->addWidget(icon);
        line->addWidget(text);
        line->addStretch(1);
        column->addWidget(row);
    };
    stateRow(noLoadRow_, noLoadIcon_, noLoadText_);
    stateRow(measuringRow_, measuringIcon_, measuringText_);

    heavyHeading_ = new QLabel(this);
    column->addWidget(heavyHeading_);
    // Five rows made once and reused, so a redraw never builds widgets.
    for (HeavyRow& h : heavyRows_) {
        h.row = new QWidget(this);
        auto* line = new QHBoxLayout(h.row);
        line->setContentsMargins(0, 0, 0, 0);
        line->setSpacing(6);
        h.name = new ElidedLabel(Qt::ElideRight, h.row);
        h.name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        h.name->setTextFormat(Qt::PlainText);
        h.memory = new QLabel(h.row);
        h.cpu = new QLabel(h.row);
        h.cpu->setFixedWidth(kCpuColumn);
        h.cpu->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        line->addWidget(h.name, 1);
        line->addWidget(h.memory);
        line->addWidget(h.cpu);
        column->addWidget(h.row);
    }

    // Room the panel keeps while open (rows that went away) lies above the bar, so the bar
    // stays at the bottom edge.
    column->addStretch(1);
    bottomBar_ = new QWidget(this);
    auto* bar = new QHBoxLayout(bottomBar_);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(2);
    auto makeButton = [this](const char* symbol, const std::function<void()>& action) {
        auto* b = new QToolButton(bottomBar_);
        b->setAutoRaise(true);
        b->setIcon(Symbols::icon(QString::fromLatin1(symbol)));
        b->setIconSize(QSize(16, 16));
        connect(b, &QToolButton::clicked, this, [action] {
            if (action) action();
        });
        return b;
    };
    buttons_[0] = makeButton("arrow.up.left.and.arrow.down.right", actions_.onExpand);
    buttons_[0]->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    buttons_[1] = makeButton("internaldrive", actions_.onStorage);
    buttons_[2] = makeButton("gearshape", actions_.onSettings);
    buttons_[3] = makeButton("power", actions_.onQuit);
    bar->addWidget(buttons_[0]);
    bar->addStretch(1);
    for (size_t i = 1; i < buttons_.size(); ++i)
        bar->addWidget(buttons_[i]);
    column->addWidget(bottomBar_);

    // Ctrl+, opens the settings, as the gear does.
    auto* settingsKeys = new QShortcut(Accessibility::settingsKeys(), this);
    connect(settingsKeys, &QShortcut::activated, this, [this] {
        if (buttons_[2]->isVisible()) buttons_[2]->click();
    });

    restyle();
}

void PopoverView::restyle() {
    const QFont base = font();
    const QColor secondary = SystemColor::secondary(palette());
    header_->setFont(ViewFonts::headline(base));
    for (QLabel* l : {batteryText_, fanText_, thermalText_, cpuTemp_, gpuTemp_, noLoadText_, measuringText_})
        l->setFont(ViewFonts::caption(base));
    batteryText_->setFont(ViewFonts::captionMono(base));
    for (QLabel* l : {fanText_, cpuTemp_, gpuTemp_, measuringText_})
        setColor(l, secondary);
    heavyHeading_->setFont(ViewFonts::caption(base));
    setColor(heavyHeading_, secondary);
    for (HeavyRow& h : heavyRows_) {
        h.name->setFont(ViewFonts::body(base));
        h.memory->setFont(ViewFonts::caption(base));
        setColor(h.memory, secondary);
        h.cpu->setFont(ViewFonts::monoDigits(base, 13));
    }
    fanIcon_->setPixmap(
        Symbols::pixmap(QStringLiteral("fanblades.fill"), kSymbolSize, secondary, devicePixelRatioF()));
    noLoadIcon_->setPixmap(Symbols::pixmap(QStringLiteral("checkmark.seal.fill"), kSymbolSize,
                                           SystemColor::green(), devicePixelRatioF()));
    measuringIcon_->setPixmap(
        Symbols::pixmap(QStringLiteral("hourglass"), kSymbolSize, secondary, devicePixelRatioF()));
    for (QToolButton* b : buttons_)
        b->setFont(ViewFonts::body(base));
}

void PopoverView::retranslate() {
    buttons_[0]->setText(loc_.t("popExpand"));
    buttons_[1]->setToolTip(loc_.t("popStorage"));
    buttons_[2]->setToolTip(loc_.t("popSettings"));
    buttons_[3]->setToolTip(loc_.t("actQuit"));
    buttons_[1]->setAccessibleName(loc_.t("popStorage"));
    buttons_[2]->setAccessibleName(loc_.t("popSettings"));
    buttons_[3]->setAccessibleName(loc_.t("actQuit"));
    Accessibility::describeShortcut(buttons_[2], loc_.t("popSettings"), Accessibility::settingsKeys());
    // The symbols beside the texts say what the texts are about.
    batteryIcon_->setAccessibleName(loc_.t("a11yBattery"));
    fanIcon_->setAccessibleName(loc_.t("a11yFan"));
    thermalIcon_->setAccessibleName(loc_.t("mbTemp"));
    noLoadIcon_->setAccessibleName(loc_.t("popNoLoad"));
    measuringIcon_->setAccessibleName(loc_.t("popMeasuring"));
    noLoadText_->setText(loc_.t("popNoLoad"));
    measuringText_->setText(loc_.t("popMeasuring"));
    heavyHeading_->setText(loc_.t("popHeavyProcs"));
}

void PopoverView::setButtonAvailable(Button b, bool available) {
    buttons_[static_cast<size_t>(b)]->setVisible(available);
}

void PopoverView::refresh() {
    model_ = buildPopoverModel(feed_.current(), MetricsFeed::heavyCPUThreshold, loc_);
    applyModel();
    emit refreshed();
}

void PopoverView::setHeavyRowLimit(int rows) {
    rows = std::clamp(rows, 0, kHeavyProcessLimit);
    if (rows == heavyRowLimit_) return;
    heavyRowLimit_ = rows;
    applyHeavyRows();
}

int PopoverView::heavyRowsShown() const {
    return std::min(static_cast<int>(model_.heavy.size()), heavyRowLimit_);
}

void PopoverView::applyModel() {
    const QColor secondary = SystemColor::secondary(palette());
    const qreal dpr = devicePixelRatioF();
    static_cast<Dot*>(severityDot_)->setColor(SystemColor::forSeverity(model_.severity));
    setText(header_, model_.header);
    for (size_t i = 0; i < gauges_.size(); ++i) {
        const GaugeSpec& g = model_.gauges[i];
        gauges_[i]->set(g.label, g.value, g.detail, g.scaleHint);
    }

    batteryIcon_->setVisible(model_.battery.has_value());
    batteryText_->setVisible(model_.battery.has_value());
    if (model_.battery) {
        const QColor c = model_.battery->low ? SystemColor::red() : secondary;
        batteryIcon_->setPixmap(Symbols::pixmap(model_.battery->symbol, kSymbolSize, c, dpr));
        setText(batteryText_, model_.battery->text);
    }
    fanIcon_->setVisible(model_.fanText.has_value());
    fanText_->setVisible(model_.fanText.has_value());
    if (model_.fanText) setText(fanText_, *model_.fanText);

    thermalIcon_->setPixmap(Symbols::pixmap(QStringLiteral("thermometer.medium"), kSymbolSize,
                                            model_.thermalWarning ? SystemColor::orange() : secondary, dpr));
    setText(thermalText_, model_.thermalText);
    cpuTemp_->setVisible(model_.cpuTempText.has_value());
    gpuTemp_->setVisible(model_.gpuTempText.has_value());
    if (model_.cpuTempText) setText(cpuTemp_, *model_.cpuTempText);
    if (model_.gpuTempText) setText(gpuTemp_, *model_.gpuTempText);
    applyHeavyRows();
}

void PopoverView::applyHeavyRows() {
    const bool calm = model_.heavy.empty();
    noLoadRow_->setVisible(calm && !model_.measuring);
    measuringRow_->setVisible(model_.measuring);
    heavyHeading_->setVisible(!calm);
    for (size_t i = 0; i < heavyRows_.size(); ++i) {
        HeavyRow& row = heavyRows_[i];
        const bool shown = static_cast<int>(i) < heavyRowsShown();
        row.row->setVisible(shown);
        if (!shown) continue;
        const HeavyLine& h = model_.heavy[i];
        setText(row.name, h.name);
        row.name->setToolTip(plainToolTip(h.name));
        setText(row.memory, h.memory);
        setText(row.cpu, h.cpuText);
        setColor(row.cpu, h.cpuColor);
    }
}

void PopoverView::showEvent(QShowEvent* event) {
    refresh();
    QWidget::showEvent(event);
}

void PopoverView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        restyle();
        applyModel();
    }
    QWidget::changeEvent(event);
}

}  // namespace velmora
