#include "ui/dashboard/dashboard_cards.h"

#include "core/format.h"
#include "core/localizer.h"
#include "ui/common/accessibility.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"

#include <QAccessibleActionInterface>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace velmora {

namespace {

// Palette changes repaint and notify: only when the colour really changes.
void setColor(QLabel* label, const QColor& wanted) {
    // Text in a status colour keeps 4.5:1 against the window, light or dark.
    const QColor color = SystemColor::textOn(wanted, label->palette());
    if (label->palette().color(QPalette::WindowText) == color) return;
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
}

// A chart card is a group that can be pressed: its press asks for the analysis.
// (Widget interfaces are action interfaces already.)
class ChartCardInterface : public Accessibility::PaintedWidget {
  public:
    explicit ChartCardInterface(QWidget* w)
        : PaintedWidget(
              w, QAccessible::Grouping, [](const QWidget* v) { return static_cast<const Card*>(v)->title(); },
              [](const QWidget* v) { return static_cast<const Card*>(v)->value(); }) {}
    QStringList actionNames() const override { return PaintedWidget::actionNames() << pressAction(); }
    QStringList keyBindingsForAction(const QString& name) const override {
        if (name != pressAction()) return PaintedWidget::keyBindingsForAction(name);
        return {QKeySequence(Qt::Key_Return).toString(QKeySequence::NativeText)};
    }
    void doAction(const QString& name) override {
        if (name == pressAction())
            static_cast<ChartCard*>(widget())->requestAnalysis();
        else
            PaintedWidget::doAction(name);
    }
};

// What a screen reader hears of the painted parts, computed when it asks.
void registerInterfaces() {
    static const bool once = [] {
        using Accessibility::PaintedWidget;
        Accessibility::registerClass("velmora::SpinningFanView", [](QWidget* w) {
            return new PaintedWidget(w, QAccessible::Animation, [](const QWidget* v) {
                auto* fan = static_cast<const SpinningFanView*>(v);
                const Localizer& loc = Accessibility::localizerFor(v);
                if (fan->stopped()) return loc.t(QStringLiteral("a11yFanStopped"));
                return loc.t(QStringLiteral("a11yFanSpeed"), static_cast<int>(std::lround(fan->ratio() * 100)));
            });
        });
        Accessibility::registerClass("velmora::CoreGrid", [](QWidget* w) {
            return new PaintedWidget(w, QAccessible::Chart, [](const QWidget* v) {
                return static_cast<const CoreGrid*>(v)->headings().join(QStringLiteral(", "));
            });
        });
        // A card is a group named by its heading; its value is read as the description.
        Accessibility::registerClass("velmora::Card", [](QWidget* w) {
            return new PaintedWidget(
                w, QAccessible::Grouping, [](const QWidget* v) { return static_cast<const Card*>(v)->title(); },
                [](const QWidget* v) { return static_cast<const Card*>(v)->value(); });
        });
        Accessibility::registerClass("velmora::ChartCard", [](QWidget* w) { return new ChartCardInterface(w); });
        Accessibility::install();
        return true;
    }();
    (void)once;
}

}  // namespace

SpinningFanView::SpinningFanView(QWidget* parent) : QWidget(parent) {
    registerInterfaces();
    setFixedSize(34, 34);
}

void SpinningFanView::setFan(const FanInfo& fan) {
    ratio_ = DashboardRules::fanRatio(fan);
    const bool wasStopped = stopped_;
    stopped_ = DashboardRules::fanStopped(fan);
    const int period = DashboardRules::fanPeriodMs(ratio_);
    const bool replace = !stopped_ && (wasStopped || period != periodMs_ || !spin_);
    periodMs_ = period;
    if (stopped_) {
        delete spin_.data();
        angle_ = 0;
    } else if (replace) {
        delete spin_.data();
        spin_ = new QVariantAnimation(this);
        // Clockwise on screen: the angle falls from 0 to one full turn back.
        spin_->setStartValue(0.0);
        spin_->setEndValue(-360.0);
        spin_->setDuration(periodMs_);
        spin_->setLoopCount(-1);
        connect(spin_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            angle_ = v.toDouble();
            update();
        });
        ++made_;
    }
    syncAnimation();
    update();
}

void SpinningFanView::setLive(bool live) {
    if (live == live_) return;
    live_ = live;
    syncAnimation();
}

void SpinningFanView::syncAnimation() {
    if (!spin_) return;
    if (live_ && !stopped_) {
        if (spin_->state() == QAbstractAnimation::Paused)
            spin_->resume();
        else if (spin_->state() == QAbstractAnimation::Stopped)
            spin_->start();
    } else if (spin_->state() == QAbstractAnimation::Running) {
        // Paused rather than stopped, so the blades stay where they were.
        spin_->pause();
    }
}

QColor SpinningFanView::color() const {
    return stopped_ ? SystemColor::secondary(palette()) : DashboardRules::fanColor(ratio_);
}

void SpinningFanView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal dpr = devicePixelRatioF();
    const QString symbol = stopped_ ? QStringLiteral("fanblades") : QStringLiteral("fanblades.fill");
    const QColor c = color();
    const QString key = symbol + c.name(QColor::HexArgb) + QString::number(dpr);
    if (key != symbolKey_) {
        symbol_ = Symbols::pixmap(symbol, 28, c, dpr);
        symbolKey_ = key;
    }
    p.translate(width() / 2.0, height() / 2.0);
    p.rotate(angle_);
    p.drawPixmap(QPointF(-14, -14), symbol_);
}

TempChip::TempChip(QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)), value_(new QLabel(this)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    column->addWidget(label_);
    column->addWidget(value_);
    label_->setFont(ViewFonts::caption(font()));
    setColor(label_, SystemColor::secondary(palette()));
    value_->setFont(ViewFonts::sized(font(), 15, QFont::Bold));
    setTemp(std::nullopt);
}

void TempChip::setLabel(const QString& label) {
    label_->setText(label);
}

void TempChip::setTemp(std::optional<double> celsius) {
    if (celsius && !std::isfinite(*celsius)) celsius.reset();
    value_->setText(celsius ? Format::fixed(*celsius, 0) + QStringLiteral("°C") : QStringLiteral("-"));
    color_ = DashboardRules::chipColor(celsius);
    setColor(value_, color_);
}

CoreGrid::CoreGrid(QWidget* parent) : QWidget(parent) {
    registerInterfaces();
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void CoreGrid::setClusters(std::vector<DashboardRules::CoreCluster> clusters, const QString& averageTemplate) {
    const bool reshape = clusters.size() != clusters_.size();
    clusters_ = std::move(clusters);
    averageTemplate_ = averageTemplate;
    if (reshape) updateGeometry();
    update();
}

QStringList CoreGrid::headings() const {
    QStringList out;
    for (const auto& c : clusters_)
        out << c.title + QStringLiteral(" · ") +
                   QString(averageTemplate_).replace(QStringLiteral("{0}"), Format::fixed(c.average, 0) + u'%');
    return out;
}

QSize CoreGrid::sizeHint() const {
    // A heading, a row of bars and a strip per cluster.
    int h = 4;
    for (const auto& c : clusters_)
        h += 50 + stripHeight(c.loads.size()) + 6;
    return {320, h};
}

int CoreGrid::stripHeight(size_t cores) const {
    // Rows of a few pixels; many cores share the room.
    return static_cast<int>(std::clamp<size_t>(cores * 4, 12, 48));
}

QRgb CoreGrid::heatColor(double load) {
    // One table for all grids: a load's colour is the same everywhere.
    static const std::array<QRgb, 101> table = [] {
        std::array<QRgb, 101> t{};
        for (int i = 0; i <= 100; ++i) {
            QColor c = DashboardRules::loadColor(i);
            c.setAlphaF(0.15f + 0.85f * static_cast<float>(i) / 100.0f);
            t[static_cast<size_t>(i)] = qPremultiply(c.rgba());
        }
        return t;
    }();
    if (!std::isfinite(load)) load = 0;
    return table[static_cast<size_t>(std::lround(std::clamp(load, 0.0, 100.0)))];
}

void CoreGrid::setHistory(const std::deque<Snapshot>& history) {
    int rows = 0;
    for (const auto& c : clusters_)
        rows += static_cast<int>(c.cores.size());
    if (heat_.width() != historyColumns || heat_.height() != rows) {
        heat_ = rows > 0 ? QImage(historyColumns, rows, QImage::Format_ARGB32_Premultiplied) : QImage();
    }
    if (heat_.isNull()) return;
    const size_t shown = std::min(history.size(), static_cast<size_t>(historyColumns));
    const int empty = historyColumns - static_cast<int>(shown);
    int row = 0;
    for (const auto& c : clusters_)
        for (const int core : c.cores) {
            auto* line = reinterpret_cast<QRgb*>(heat_.scanLine(row++));
            // Before the history begins the strip stays clear.
            std::fill(line, line + empty, QRgb(0));
            for (size_t i = 0; i < shown; ++i) {
                const std::vector<double>& loads = history[history.size() - shown + i].cpuPerCore;
                const bool known = core >= 0 && static_cast<size_t>(core) < loads.size();
                line[empty + static_cast<int>(i)] = known ? heatColor(loads[static_cast<size_t>(core)]) : QRgb(0);
            }
        }
    update();
}

void CoreGrid::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QFont caption = ViewFonts::caption(font());
    p.setFont(caption);
    const QFontMetrics fm(caption);
    const QColor secondary = SystemColor::secondary(palette());
    const QStringList titles = headings();
    int y = 2;
    int firstRow = 0;  // the cluster's first row in the strips' picture
    for (size_t c = 0; c < clusters_.size(); ++c) {
        const auto& cluster = clusters_[c];
        if (c > 0) y += 6;
        p.setPen(secondary);
        p.drawText(QRect(0, y, width(), fm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   fm.elidedText(titles[static_cast<int>(c)], Qt::ElideRight, width()));
        y += fm.height() + 4;
        const int n = static_cast<int>(cluster.loads.size());
        const double gap = n > 32 ? 1 : 3;
        const double barW = std::max(1.0, (width() - gap * (n - 1)) / std::max(1, n));
        const double barH = 50 - fm.height() - 10;
        for (int i = 0; i < n; ++i) {
            const double load = std::clamp(cluster.loads[i], 0.0, 100.0);
            const QRectF track(i * (barW + gap), y, barW, barH);
            QColor trackColor = secondary;
            trackColor.setAlphaF(0.15f);
            p.fillRect(track, trackColor);
            const double h = barH * load / 100.0;
            p.fillRect(QRectF(track.left(), track.bottom() - h, barW, h), DashboardRules::loadColor(load));
        }
        y += static_cast<int>(barH) + 4;
        const int stripH = stripHeight(cluster.loads.size());
        const QRect strip(0, y, width(), stripH);
        QColor trackColor = secondary;
        trackColor.setAlphaF(0.08f);
        p.fillRect(strip, trackColor);
        if (!heat_.isNull() && firstRow + n <= heat_.height())
            p.drawImage(strip, heat_, QRect(0, firstRow, heat_.width(), n));
        firstRow += n;
        y += stripH;
    }
}

Card::Card(QWidget* parent) : QFrame(parent), title_(new QLabel(this)), value_(new QLabel(this)) {
    registerInterfaces();
    setFrameShape(QFrame::StyledPanel);
    // Cards keep their height in the scrolling column; squeezed, their parts would overlap.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 8, 10, 8);
    column->setSpacing(4);
    auto* head = new QHBoxLayout;
    head->addWidget(title_, 1);
    head->addWidget(value_);
    column->addLayout(head);
    title_->setFont(ViewFonts::headline(font()));
    value_->setFont(ViewFonts::monoDigits(font(), 13));
    value_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
}

void Card::setTitle(const QString& title) {
    title_->setText(title);
}

void Card::setValue(const QString& text, const QColor& color) {
    value_->setText(text);
    valueColor_ = color.isValid() ? color : palette().color(QPalette::WindowText);
    setColor(value_, valueColor_);
}

void Card::addContent(QWidget* widget) {
    static_cast<QVBoxLayout*>(layout())->addWidget(widget);
}

bool Card::exposed() const {
    return isVisible() && !visibleRegion().isEmpty();
}

ChartCard::ChartCard(AnalysisKind kind, QWidget* parent)
    : Card(parent), kind_(kind), chart_(new TimeChart(this)) {
    chart_->setMinimumHeight(90);
    addContent(chart_);
    setFocusPolicy(Qt::TabFocus);
    connect(chart_, &TimeChart::analyseRequested, this, [this] { emit analyse(kind_); });
}

QLabel* ChartCard::footer() {
    if (!footer_) {
        footer_ = new QLabel(this);
        footer_->setFont(ViewFonts::caption(font()));
        setColor(footer_, SystemColor::secondary(palette()));
        addContent(footer_);
    }
    return footer_;
}

void ChartCard::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            requestAnalysis();
            return;
        default:
            Card::keyPressEvent(event);
    }
}

// The focused card is outlined in the highlight colour; the frame keeps its width, so
// nothing moves.
void ChartCard::focusInEvent(QFocusEvent* event) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setForegroundRole(QPalette::Highlight);
    Card::focusInEvent(event);
}

void ChartCard::focusOutEvent(QFocusEvent* event) {
    setFrameStyle(QFrame::StyledPanel);
    setForegroundRole(QPalette::WindowText);
    Card::focusOutEvent(event);
}

}  // namespace velmora
