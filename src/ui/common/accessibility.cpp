#include "ui/common/accessibility.h"

#include "core/localizer.h"
#include "ui/common/gauge_row.h"
#include "ui/common/time_chart.h"

#include <QAccessible>
#include <QHash>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QPointer>
#include <QTextDocumentFragment>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace velmora::Accessibility {

namespace {

constexpr char kLocalizerProperty[] = "velmoraLocalizer";
constexpr char kNamesProperty[] = "velmoraNames";

QHash<QString, Maker>& makers() {
    static QHash<QString, Maker> all;
    return all;
}

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType()) return nullptr;
    const auto found = makers().constFind(className);
    return found == makers().constEnd() ? nullptr : (*found)(static_cast<QWidget*>(object));
}

QString severityWord(const Localizer& loc, Severity s) {
    switch (s) {
        case Severity::normal: return loc.t(QStringLiteral("sevNormal"));
        case Severity::elevated: return loc.t(QStringLiteral("sevElevated"));
        case Severity::high: return loc.t(QStringLiteral("sevHigh"));
        case Severity::critical: return loc.t(QStringLiteral("sevCritical"));
    }
    return {};
}

// A gauge reads as a progress bar whose value is its percentage.
class GaugeInterface : public PaintedWidget, public QAccessibleValueInterface {
  public:
    explicit GaugeInterface(QWidget* w)
        : PaintedWidget(
              w, QAccessible::ProgressBar,
              [](const QWidget* g) {
                  auto* gauge = static_cast<const GaugeRow*>(g);
                  return gaugeText(localizerFor(g), gauge->label(), gauge->value());
              },
              [](const QWidget* g) { return static_cast<const GaugeRow*>(g)->detail(); }) {}
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return PaintedWidget::interface_cast(t);
    }
    QVariant currentValue() const override { return static_cast<const GaugeRow*>(widget())->value(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return 100.0; }
    QVariant minimumValue() const override { return 0.0; }
    QVariant minimumStepSize() const override { return 0.0; }
};

// A chart reads its metric (its own accessible name, or its card's), the span in sight, the
// newest value and the highest one in sight, of its first series.
QString chartName(const QWidget* w) {
    auto* chart = static_cast<const TimeChart*>(w);
    QString metric = chart->accessibleName();
    for (const QWidget* up = chart->parentWidget(); metric.isEmpty() && up; up = up->parentWidget()) {
        if (QAccessibleInterface* i = QAccessible::queryAccessibleInterface(const_cast<QWidget*>(up)))
            metric = i->text(QAccessible::Name);
        if (up->isWindow()) break;
    }
    if (metric.isEmpty()) return {};  // a chart nobody named says nothing rather than half
    const Localizer& loc = localizerFor(w);
    const auto& series = chart->series();
    if (series.empty() || series.front().points.empty()) return chartEmptyText(loc, metric);
    const auto& points = series.front().points;
    const ChartViewport& view = chart->viewport();
    const TimePoint left = view.leftEdge(), right = view.rightEdge();
    std::optional<double> now, peak;
    for (const MetricPoint& p : points) {
        if (!std::isfinite(p.value) || p.time > right) continue;
        now = p.value;
        if (p.time >= left) peak = peak ? std::max(*peak, p.value) : p.value;
    }
    if (!now) return chartEmptyText(loc, metric);
    return chartText(loc, metric, view.visibleSeconds(), chart->valueText(*now), chart->valueText(peak.value_or(*now)));
}

}  // namespace

PaintedWidget::PaintedWidget(QWidget* w, QAccessible::Role role, std::function<QString(const QWidget*)> name,
                             std::function<QString(const QWidget*)> description)
    : QAccessibleWidget(w, role), name_(std::move(name)), description_(std::move(description)) {}

QString PaintedWidget::text(QAccessible::Text t) const {
    if (t == QAccessible::Name && name_) return name_(widget());
    if (t == QAccessible::Description && description_) return description_(widget());
    return QAccessibleWidget::text(t);
}

void install() {
    static const bool once = [] {
        registerClass("velmora::GaugeRow", [](QWidget* w) { return new GaugeInterface(w); });
        registerClass("velmora::TimeChart",
                      [](QWidget* w) { return new PaintedWidget(w, QAccessible::Chart, chartName); });
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)once;
}

void registerClass(const char* className, Maker make) {
    makers().insert(QString::fromLatin1(className), std::move(make));
}

void useLocalizer(QWidget* root, const Localizer& loc) {
    install();
    // Held weakly: a widget that outlives the localizer falls back to the shared one.
    root->setProperty(kLocalizerProperty,
                      QVariant::fromValue(QPointer<QObject>(const_cast<QObject*>(static_cast<const QObject*>(&loc)))));
}

const Localizer& localizerFor(const QWidget* w) {
    for (; w; w = w->parentWidget()) {
        const QVariant v = w->property(kLocalizerProperty);
        if (v.isValid())
            if (auto* loc = qobject_cast<const Localizer*>(v.value<QPointer<QObject>>().data())) return *loc;
    }
    return Localizer::shared();
}

Severity gaugeSeverity(double v) {
    if (v >= 90) return Severity::critical;
    if (v >= 70) return Severity::high;
    if (v >= 49) return Severity::elevated;
    return Severity::normal;
}

QString gaugeText(const Localizer& loc, const QString& label, double percent) {
    if (!std::isfinite(percent)) percent = 0;
    // The level as the bar's colour shows it, from the unrounded value.
    return loc.t(QStringLiteral("a11yGauge"), label, static_cast<int>(std::lround(percent)),
                 severityWord(loc, gaugeSeverity(percent)).toLower());
}

QString chartText(const Localizer& loc, const QString& metric, double seconds, const QString& now,
                  const QString& peak) {
    const long minutes = std::lround(seconds / 60);
    if (minutes >= 120 && minutes % 60 == 0)
        return loc.t(QStringLiteral("a11yChartHours"), metric, minutes / 60, now, peak);
    return loc.t(QStringLiteral("a11yChartMinutes"), metric, std::max(1L, minutes), now, peak);
}

QString chartEmptyText(const Localizer& loc, const QString& metric) {
    return loc.t(QStringLiteral("a11yChartEmpty"), metric);
}

QKeySequence settingsKeys() {
    return QKeySequence(Qt::CTRL | Qt::Key_Comma);
}

QString withShortcut(const QString& text, const QKeySequence& keys) {
    if (keys.isEmpty()) return text;
    return QStringLiteral("%1 (%2)").arg(text, keys.toString(QKeySequence::NativeText));
}

void describeShortcut(QWidget* w, const QString& name, const QKeySequence& keys) {
    w->setAccessibleName(name);
    w->setToolTip(withShortcut(name, keys));
}

void nameClearButton(QLineEdit* field, const Localizer& loc) {
    // The button is the line edit's own child, made when the clear button is switched on.
    for (QToolButton* b : field->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly))
        b->setAccessibleName(loc.t(QStringLiteral("a11yClearSearch")));
}

QWidget* firstTabStop(QWidget* root) {
    for (QWidget* w = root->nextInFocusChain(); w && w != root; w = w->nextInFocusChain())
        if (root->isAncestorOf(w) && w->isVisibleTo(root) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus))
            return w;
    return nullptr;
}

void labelFor(QLabel* label, QWidget* control) {
    label->setProperty(kNamesProperty, QVariant::fromValue(QPointer<QObject>(control)));
}

void nameFromLabels(QWidget* root) {
    for (QLabel* label : root->findChildren<QLabel*>()) {
        const QVariant names = label->property(kNamesProperty);
        if (!names.isValid()) continue;
        auto* control = qobject_cast<QWidget*>(names.value<QPointer<QObject>>().data());
        if (!control) continue;
        QString text = label->text();
        if (label->textFormat() != Qt::PlainText && Qt::mightBeRichText(text))
            text = QTextDocumentFragment::fromHtml(text).toPlainText();
        control->setAccessibleName(text.trimmed());
    }
}

void announce(QLabel* live, const QString& text) {
    if (!live) return;
    live->setText(text);
    if (!QAccessible::isActive()) return;
    // QLabel reports its own text changes only while it has no name of its own; say it in
    // every case, so the line is spoken as it changes.
    QAccessibleEvent changed(live, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

}  // namespace velmora::Accessibility
