#include "ui/analysis/analysis_view.h"

#include "core/format.h"
#include "core/localizer.h"
#include "ui/common/accessibility.h"
#include "ui/common/one_line.h"
#include "ui/common/range_picker.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/time_chart.h"
#include "ui/common/view_fonts.h"

#include <QAbstractListModel>
#include <QDateTime>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <QVBoxLayout>

#include <cmath>

namespace velmora {

namespace {

QString L(const char* key) {
    return Localizer::shared().t(QString::fromLatin1(key));
}

constexpr int kRowHeight = 34;
constexpr int kRemoveSize = 16;

}  // namespace

// The list's rows as a model: the view's rows vector, shown as is. A refresh changes the
// rows in place (rows added or removed at the end, the rest announced as changed), never
// resetting, so the list keeps its scroll position, selection and focus.
// The key that takes the current row off the peak list, as its painted remove button does.
QKeySequence removeKeys() {
    return QKeySequence(Qt::Key_Backspace);
}

class AnalysisRowsModel : public QAbstractListModel {
  public:
    explicit AnalysisRowsModel(QObject* parent) : QAbstractListModel(parent) {}
    void setRows(const std::vector<AnalysisRow>* rows, bool removable) {
        const int before = count_;
        const int after = rows ? static_cast<int>(rows->size()) : 0;
        rows_ = rows;
        removable_ = removable;
        if (after < before) {
            beginRemoveRows({}, after, before - 1);
            count_ = after;
            endRemoveRows();
        } else if (after > before) {
            beginInsertRows({}, before, after - 1);
            count_ = after;
            endInsertRows();
        }
        if (const int kept = std::min(before, after); kept > 0) emit dataChanged(index(0), index(kept - 1));
    }
    const AnalysisRow* rowAt(int i) const {
        return rows_ && i >= 0 && i < count_ && i < static_cast<int>(rows_->size()) ? &(*rows_)[i] : nullptr;
    }
    bool removable() const { return removable_; }
    int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : count_; }
    QVariant data(const QModelIndex& index, int role) const override {
        const AnalysisRow* r = rowAt(index.row());
        if (!r) return {};
        if (role == Qt::DisplayRole) return r->name;
        if (role == Qt::ToolTipRole) return plainToolTip(r->name);
        // A screen reader hears the whole painted line: rank, name, pid and figure.
        if (role == Qt::AccessibleTextRole)
            return QStringLiteral("%1. %2, PID %3, %4").arg(index.row() + 1).arg(oneLine(r->name)).arg(r->pid).arg(r->value);
        if (role == Qt::AccessibleDescriptionRole && removable_)
            return Accessibility::withShortcut(L("anRemoveRow"), removeKeys());
        if (role == Qt::UserRole) return r->pid;
        return {};
    }

  private:
    const std::vector<AnalysisRow>* rows_ = nullptr;
    int count_ = 0;
    bool removable_ = false;
};

namespace {

// One row: rank, a dot while the process is still busy, name and value, and a bar as long
// as the row's share of the top value; in the peak list a remove button at the end.
class RowDelegate : public QStyledItemDelegate {
  public:
    RowDelegate(AnalysisRowsModel* model, std::function<void(const AnalysisRowKey&)> remove, QObject* parent)
        : QStyledItemDelegate(parent), model_(model), remove_(std::move(remove)) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {option.rect.width(), kRowHeight};
    }

    static QRect removeRect(const QRect& row) {
        return QRect(row.right() - kRemoveSize - 6, row.top() + (row.height() - kRemoveSize) / 2, kRemoveSize,
                     kRemoveSize);
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const AnalysisRow* r = model_->rowAt(index.row());
        if (!r) return;
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        const QRect rect = option.rect;
        if (option.state & QStyle::State_Selected) {
            QColor sel = option.palette.color(QPalette::Highlight);
            sel.setAlphaF(0.2f);
            p->fillRect(rect, sel);
        }
        const QColor secondary = SystemColor::secondary(option.palette);
        const QFont base = option.font;
        int x = rect.left() + 6;
        p->setFont(ViewFonts::caption(base));
        p->setPen(secondary);
        p->drawText(QRect(x, rect.top(), 22, rect.height() - 10), Qt::AlignRight | Qt::AlignVCenter,
                    QString::number(index.row() + 1));
        x += 28;
        if (r->active) {
            p->setPen(Qt::NoPen);
            p->setBrush(SystemColor::green());
            p->drawEllipse(QPointF(x + 3, rect.top() + (rect.height() - 10) / 2.0), 3, 3);
        }
        x += 10;
        const int right = rect.right() - (model_->removable() ? kRemoveSize + 12 : 6);
        const int textWidth = right - x;
        p->setFont(ViewFonts::body(base));
        p->setPen(option.palette.color(QPalette::Text));
        const QFontMetrics nameMetrics(p->font());
        p->setFont(ViewFonts::caption(base));
        const int valueWidth = std::min(QFontMetrics(p->font()).horizontalAdvance(r->value), textWidth / 2);
        p->setPen(secondary);
        p->drawText(QRect(right - valueWidth, rect.top(), valueWidth, rect.height() - 10),
                    Qt::AlignRight | Qt::AlignVCenter, r->value);
        // A small pid tag tells processes of the same name apart.
        const QString tag = pidTag(r->pid);
        const QFont tagFont = ViewFonts::caption(base);
        const int tagWidth = QFontMetrics(tagFont).horizontalAdvance(tag) + 8;
        const int nameRoom = std::max(0, textWidth - valueWidth - 8 - tagWidth);
        p->setFont(ViewFonts::body(base));
        p->setPen(option.palette.color(QPalette::Text));
        // One line whatever the name holds; long names are cut in the middle.
        const QString shown = nameMetrics.elidedText(oneLine(r->name), Qt::ElideMiddle, nameRoom);
        p->drawText(QRect(x, rect.top(), nameRoom, rect.height() - 10), Qt::AlignLeft | Qt::AlignVCenter, shown);
        p->setFont(tagFont);
        p->setPen(secondary);
        p->drawText(QRect(x + nameMetrics.horizontalAdvance(shown) + 6, rect.top(), tagWidth, rect.height() - 10),
                    Qt::AlignLeft | Qt::AlignVCenter, tag);
        const double fraction = std::isfinite(r->fraction) ? std::clamp(r->fraction, 0.0, 1.0) : 0.0;
        const QRectF track(x, rect.bottom() - 9, textWidth, 4);
        QColor trackColour = secondary;
        trackColour.setAlphaF(0.15f);
        p->setPen(Qt::NoPen);
        p->setBrush(trackColour);
        p->drawRoundedRect(track, 2, 2);
        p->setBrush(r->color);
        p->drawRoundedRect(QRectF(track.left(), track.top(), track.width() * fraction, track.height()), 2, 2);
        if (model_->removable()) {
            const QRect box = removeRect(rect);
            p->setPen(QPen(secondary, 1.5));
            p->setBrush(Qt::NoBrush);
            p->drawEllipse(box.adjusted(1, 1, -1, -1));
            p->drawLine(box.center() + QPoint(-3, -3), box.center() + QPoint(3, 3));
            p->drawLine(box.center() + QPoint(-3, 3), box.center() + QPoint(3, -3));
        }
        p->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel*, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        if (event->type() != QEvent::MouseButtonRelease || !model_->removable()) return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (!removeRect(option.rect).contains(mouse->position().toPoint())) return false;
        if (const AnalysisRow* r = model_->rowAt(index.row())) remove_(r->key());
        return true;
    }

    // The remove button has its own help; the rest of the row names its process.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override {
        if (event->type() != QEvent::ToolTip) return QStyledItemDelegate::helpEvent(event, view, option, index);
        const AnalysisRow* r = model_->rowAt(index.row());
        if (!r) return false;
        const bool onRemove = model_->removable() && removeRect(option.rect).contains(event->pos());
        QToolTip::showText(event->globalPos(), onRemove ? L("anRemoveRow") : r->name, view);
        return true;
    }

    static QString pidTag(int32_t pid) { return QStringLiteral("PID %1").arg(pid); }

  private:
    AnalysisRowsModel* model_;
    std::function<void(const AnalysisRowKey&)> remove_;
};

QString symbolTitle(AnalysisKind kind) {
    return Localizer::shared().t(titleKey(kind));
}

QString headerSymbol(AnalysisKind kind) {
    switch (kind) {
        case AnalysisKind::cpu:
            return QStringLiteral("cpu");
        case AnalysisKind::memory:
            return QStringLiteral("memorychip");
        case AnalysisKind::disk:
            return QStringLiteral("internaldrive");
        case AnalysisKind::network:
            return QStringLiteral("network");
        case AnalysisKind::gpu:
            return QStringLiteral("cpu.fill");
    }
    return {};
}

// A coloured square and a name, for the chart's caption.
QString legendItem(const QColor& colour, const QString& name) {
    return QStringLiteral("<span style=\"color:%1\">■</span> %2").arg(colour.name(), name.toHtmlEscaped());
}

}  // namespace

AnalysisView::AnalysisView(const MetricsFeed& feed, AnalysisKind kind, Services services, QWidget* parent)
    : QWidget(parent), feed_(feed), analysis_(kind), services_(std::move(services)), flow_(services_.actions) {
    Accessibility::install();
    if (kind == AnalysisKind::network && !services_.netMonitor)
        services_.netMonitor = std::make_unique<NetProcMonitor>();

    auto* root = new QVBoxLayout(this);
    auto* header = new QHBoxLayout;
    symbol_ = new QLabel;
    symbol_->setPixmap(Symbols::pixmap(headerSymbol(kind), 18, SystemColor::secondary(palette()), devicePixelRatioF()));
    header->addWidget(symbol_);
    title_ = new QLabel;
    title_->setFont(ViewFonts::headline(font()));
    now_ = new QLabel;
    now_->setFont(ViewFonts::monoDigits(font(), 13));
    close_ = new QPushButton;
    connect(close_, &QPushButton::clicked, this, &AnalysisView::closeRequested);
    header->addWidget(title_);
    header->addSpacing(12);
    header->addWidget(now_);
    header->addStretch();
    picker_ = new RangePicker;
    picker_->setHistoryAvailable(static_cast<bool>(services_.history));
    header->addWidget(picker_);
    header->addWidget(close_);
    root->addLayout(header);

    chart_ = new TimeChart(this, MetricsFeed::historyRetentionSeconds);
    chart_->setFixedHeight(76);
    chart_->setMinimumTop(0.01);  // MB/s for rates: a quiet link still shows its shape
    connect(chart_, &TimeChart::timeClicked, this, &AnalysisView::pickTime);
    root->addWidget(chart_);
    legend_ = new QLabel;
    legend_->setFont(ViewFonts::caption(font()));
    legend_->setTextFormat(Qt::RichText);
    root->addWidget(legend_);
    hint_ = new QLabel;
    hint_->setFont(ViewFonts::caption(font()));
    root->addWidget(hint_);
    netNote_ = new QLabel;
    netNote_->setFont(ViewFonts::caption(font()));
    netNote_->setWordWrap(true);
    netNote_->setVisible(false);
    root->addWidget(netNote_);

    auto* split = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    auto* titleRow = new QHBoxLayout;
    listTitle_ = new QLabel;
    listTitle_->setFont(ViewFonts::headline(font()));
    realtime_ = new QPushButton;
    connect(realtime_, &QPushButton::clicked, this, &AnalysisView::backToRealtime);
    titleRow->addWidget(listTitle_);
    titleRow->addStretch();
    titleRow->addWidget(realtime_);
    left->addLayout(titleRow);
    list_ = new QListView;
    model_ = new AnalysisRowsModel(this);
    list_->setModel(model_);
    list_->setItemDelegate(new RowDelegate(model_, [this](const AnalysisRowKey& key) { dismiss(key); }, list_));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setUniformItemSizes(true);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QListView::clicked, this, [this](const QModelIndex& index) {
        if (const AnalysisRow* r = model_->rowAt(index.row())) select(r->key());
    });
    // The keyboard moves the selection too; refresh() placing it is not a choice of the user's.
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& index) {
        if (placingSelection_) return;
        if (const AnalysisRow* r = model_->rowAt(index.row())) select(r->key());
    });
    connect(list_, &QListView::customContextMenuRequested, this, &AnalysisView::showRowMenu);
    // The keyboard reaches what the row's painted buttons do: Backspace removes it from the
    // peak list, Delete and Shift+Delete quit and force quit its process, through the menu's
    // confirmation.
    auto rowKeys = [this](const QKeySequence& keys, std::function<void(const AnalysisRow&)> act) {
        auto* s = new QShortcut(keys, list_);
        s->setContext(Qt::WidgetShortcut);
        connect(s, &QShortcut::activated, this, [this, act] {
            if (const AnalysisRow* r = model_->rowAt(list_->currentIndex().row())) act(*r);
        });
    };
    rowKeys(removeKeys(), [this](const AnalysisRow& r) {
        if (model_->removable()) dismiss(r.key());
    });
    rowKeys(QKeySequence(Qt::Key_Delete), [this](const AnalysisRow& r) { requestKill(r.pid, false); });
    rowKeys(QKeySequence(Qt::SHIFT | Qt::Key_Delete), [this](const AnalysisRow& r) { requestKill(r.pid, true); });
    left->addWidget(list_, 1);
    empty_ = new QLabel;
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setWordWrap(true);
    left->addWidget(empty_, 1);
    split->addLayout(left, 3);

    detail_ = new AnalysisDetailPane(feed_, Localizer::shared(), kind, std::move(services_.detail));
    connect(detail_, &AnalysisDetailPane::killRequested, this, &AnalysisView::requestKill);
    connect(detail_, &AnalysisDetailPane::treeKillRequested, this, &AnalysisView::requestTreeKill);
    connect(detail_, &AnalysisDetailPane::suspendRequested, this,
            [this](int32_t pid) { request(ProcessAction::suspend, pid); });
    connect(detail_, &AnalysisDetailPane::resumeRequested, this,
            [this](int32_t pid) { request(ProcessAction::resume, pid); });
    split->addWidget(detail_, 2);
    root->addLayout(split, 1);

    result_ = new QLabel;
    result_->setTextFormat(Qt::PlainText);
    result_->setVisible(false);
    root->addWidget(result_);
    resultClear_ = new QTimer(this);
    resultClear_->setSingleShot(true);
    resultClear_->setInterval(3000);
    connect(resultClear_, &QTimer::timeout, this, [this] { result_->setVisible(false); });

    loader_ = new RangeLoader(services_.history, [] { return WallClock::now(); }, this);
    connect(picker_, &RangePicker::spanChosen, this, &AnalysisView::showSpan);
    connect(loader_, &RangeLoader::changed, this, [this] {
        // A moment picked in another span means nothing in this one.
        analysis_.selectedTime.reset();
        analysis_.setCombinedRates(loader_->span() != HistorySpan::live);
        refresh();
    });

    // Only while shown: a hidden window costs nothing per tick. A remembered range does not
    // change with the ticks; only the figure of now does.
    connect(&feed_, &MetricsFeed::currentChanged, this, [this] {
        if (!isVisible()) return;
        if (loader_->span() == HistorySpan::live)
            refresh();
        else
            now_->setText(analysis_.nowSummary(feed_.current()));
    });
    // The monitor runs only while the window shows, so each of its results is worth showing.
    if (services_.netMonitor)
        connect(services_.netMonitor.get(), &NetProcMonitor::changed, this, [this] {
            if (services_.networkMeasured && !services_.netMonitor->failed())
                services_.networkMeasured(services_.netMonitor->procs());
            refresh();
        });
    connect(&Localizer::shared(), &Localizer::languageChanged, this, [this] {
        retranslate();
        refresh();
    });
    retranslate();
    refresh();
}

AnalysisView::~AnalysisView() {
    if (services_.netMonitor) services_.netMonitor->stop();
}

const StoredRange* AnalysisView::shownRange() const {
    if (loader_->span() == HistorySpan::live) return nullptr;
    return loader_->range() ? loader_->range() : &reading_;
}

const history::Gap* AnalysisView::pickedGap() const {
    const StoredRange* range = loader_->range();
    return range && analysis_.selectedTime ? range->gapAt(*analysis_.selectedTime) : nullptr;
}

void AnalysisView::showSpan(HistorySpan span) {
    // The picker refuses what cannot be shown; the range follows what it shows.
    picker_->setSpan(span);
    loader_->setSpan(picker_->span());
}

AnalysisInputs AnalysisView::inputs() const {
    if (const StoredRange* range = shownRange())
        return {range->history, range->attribution, feed_.current(), range->netHistory, noNet_, WallClock::now()};
    if (services_.netMonitor)
        return {feed_.history(), feed_.attribution(), feed_.current(), services_.netMonitor->history(),
                services_.netMonitor->procs(), WallClock::now()};
    return {feed_.history(), feed_.attribution(), feed_.current(), noNetHistory_, noNet_, WallClock::now()};
}

void AnalysisView::refresh() {
    const AnalysisInputs in = inputs();
    // A picked moment that has left the history cannot be shown any more: back to real time
    // rather than showing another moment under its title.
    const history::Gap* gap = pickedGap();
    if (analysis_.selectedTime && !gap && !analysis_.inHistory(in, *analysis_.selectedTime))
        analysis_.selectedTime.reset();
    // Nothing was recorded in a gap: no one to name.
    rows_ = gap ? std::vector<AnalysisRow>{} : analysis_.rows(in);
    analysis_.syncSelection(rows_);
    model_->setRows(&rows_, !analysis_.selectedTime);
    showSelectedRow();
    now_->setText(analysis_.nowSummary(feed_.current()));
    listTitle_->setText(listTitle());
    if (list_->accessibleName() != listTitle_->text()) list_->setAccessibleName(listTitle_->text());
    realtime_->setVisible(analysis_.selectedTime.has_value());
    // In a remembered range the button leaves the moment for the range's peaks, not for now.
    realtime_->setText(shownRange() ? L("hrBackToPeaks") : L("anRealtime"));
    hint_->setText(hintText());
    const QString note = networkNote();
    netNote_->setText(note);
    netNote_->setVisible(!note.isEmpty());
    empty_->setText(emptyText());
    empty_->setVisible(rows_.empty());
    list_->setVisible(!rows_.empty());
    refreshChart();
    chart_->setShadedSpans(analysis_.unknownSpans(in));
    const AnalysisRow* selected = nullptr;
    for (const AnalysisRow& r : rows_)
        if (analysis_.selected && r.key() == *analysis_.selected) selected = &r;
    if (selected)
        detail_->setProcess(selected->pid, selected->startTime, selected->children ? QString() : selected->name);
    else
        detail_->setPid(std::nullopt);
}

void AnalysisView::showSelectedRow() {
    int row = -1;
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
        if (analysis_.selected && rows_[i].key() == *analysis_.selected) row = i;
    const QModelIndex want = row >= 0 ? model_->index(row) : QModelIndex();
    if (list_->currentIndex() == want && (!want.isValid() || list_->selectionModel()->isSelected(want))) return;
    // Only a row that moved is placed again, and without scrolling: the list stays where
    // the reader left it.
    placingSelection_ = true;
    const bool scrolls = list_->hasAutoScroll();
    list_->setAutoScroll(false);
    if (want.isValid())
        list_->selectionModel()->setCurrentIndex(want, QItemSelectionModel::ClearAndSelect);
    else
        list_->selectionModel()->clear();
    list_->setAutoScroll(scrolls);
    placingSelection_ = false;
}

QString AnalysisView::hintText() const {
    return analysis_.selectedTime ? L("anHintScrub") : L("anHintLive");
}

QString AnalysisView::networkNote() const {
    if (analysis_.kind() != AnalysisKind::network || !services_.netMonitor) return {};
    QStringList parts;
    const std::vector<ProcNet>& latest = services_.netMonitor->procs();
    if (std::any_of(latest.begin(), latest.end(), [](const ProcNet& n) { return n.loopbackBps > 0; }))
        parts << L("anNetLoopback");
    if (services_.netMonitor->tcpOnly()) parts << L("anNetTcpOnly");
    return parts.join(u' ');
}

QString AnalysisView::legendText() const {
    switch (analysis_.kind()) {
        case AnalysisKind::disk:
            return QStringLiteral("MB/s, ") + legendItem(SystemColor::blue(), L("anRead")) + QStringLiteral("  ") +
                   legendItem(SystemColor::purple(), L("anWrite"));
        case AnalysisKind::network:
            return QStringLiteral("MB/s, ") + legendItem(SystemColor::green(), L("anDown")) + QStringLiteral("  ") +
                   legendItem(SystemColor::orange(), L("anUp"));
        case AnalysisKind::cpu:
        case AnalysisKind::memory:
        case AnalysisKind::gpu:
            break;
    }
    return {};
}

void AnalysisView::refreshChart() {
    const Snapshot& now = feed_.current();
    auto colourOf = [](double v) {
        return v >= 90 ? SystemColor::red() : v >= 70 ? SystemColor::orange()
                                          : v >= 49   ? SystemColor::yellow()
                                                      : SystemColor::green();
    };
    const StoredRange* range = shownRange();
    std::vector<TimeChart::Series> series;
    // Live: the feed's history. A remembered range: each record's mean as the live line is
    // drawn, and its peak as a fainter line above it.
    auto add = [&](SnapshotField field, history::Series stored, double divisor, const QColor& colour, bool area,
                   double width) {
        if (!range) {
            std::vector<MetricPoint> points = feed_.series(field);
            if (divisor != 1)
                for (MetricPoint& p : points)
                    p.value /= divisor;
            series.push_back({std::move(points), colour, area, width});
            return;
        }
        series.push_back({range->points(stored, false, divisor), colour, area, width});
        QColor faint = colour;
        faint.setAlphaF(0.55f);
        series.push_back({range->points(stored, true, divisor), faint, false, 1.0});
    };
    switch (analysis_.kind()) {
        case AnalysisKind::cpu:
            add(&Snapshot::cpuTotal, history::Series::cpuPercent, 1, colourOf(now.cpuTotal), true, 1.0);
            chart_->setMaxY(100.0);
            break;
        case AnalysisKind::memory:
            add(&Snapshot::memPercent, history::Series::memPercent, 1, colourOf(now.memPercent), true, 1.0);
            chart_->setMaxY(100.0);
            break;
        case AnalysisKind::gpu:
            add(&Snapshot::gpuPercent, history::Series::gpuPercent, 1, colourOf(now.gpuPercent), true, 1.0);
            chart_->setMaxY(100.0);
            break;
        case AnalysisKind::disk:
            add(&Snapshot::diskReadBps, history::Series::diskReadBps, 1e6, SystemColor::blue(), false, 2.0);
            add(&Snapshot::diskWriteBps, history::Series::diskWriteBps, 1e6, SystemColor::purple(), false, 2.0);
            chart_->setMaxY(std::nullopt);
            break;
        case AnalysisKind::network:
            add(&Snapshot::netInBps, history::Series::netInBps, 1e6, SystemColor::green(), false, 2.0);
            add(&Snapshot::netOutBps, history::Series::netOutBps, 1e6, SystemColor::orange(), false, 2.0);
            chart_->setMaxY(std::nullopt);
            break;
    }
    chart_->setVisibleSeconds(range ? std::chrono::duration<double>(spanLength(loader_->span())).count()
                                    : MetricsFeed::historyRetentionSeconds);
    chart_->setGaps(range ? range->gapSpans() : std::vector<std::pair<TimePoint, TimePoint>>{});
    const bool rates = analysis_.kind() == AnalysisKind::disk || analysis_.kind() == AnalysisKind::network;
    chart_->setValueText(rates ? std::function<QString(double)>([](double v) {
        return Format::fixed(v, 1) + QStringLiteral(" MB/s");
    })
                               : std::function<QString(double)>([](double v) { return Format::fixed(v, 0) + u'%'; }));
    chart_->setSeries(std::move(series));
    chart_->setMarker(analysis_.selectedTime);
}

QString AnalysisView::listTitle() const {
    if (!analysis_.selectedTime) return shownRange() ? L("hrPeakTitle") : L("anPeakTitle");
    const QString time = QDateTime::fromMSecsSinceEpoch(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                            analysis_.selectedTime->time_since_epoch())
                                                            .count())
                             .toString(loader_->span() == HistorySpan::week ? QStringLiteral("ddd HH:mm:ss")
                                                                            : QStringLiteral("HH:mm:ss"));
    return L("anInstantTitle") + u' ' + Localizer::shared().t(QStringLiteral("anAtTime"), time);
}

QString AnalysisView::emptyText() const {
    if (loader_->loading()) return L("hrLoading");
    if (pickedGap()) return L("hrGap");
    if (analysis_.kind() != AnalysisKind::network || shownRange()) {
        // Remembered network use exists only for the times a network window measured it.
        if (analysis_.kind() == AnalysisKind::network && !analysis_.processesKnown(inputs(), analysis_.selectedTime))
            return L("hrNoNetwork");
        // "No load" only where the processes of the moment are known and none was busy.
        return analysis_.processesKnown(inputs(), analysis_.selectedTime) ? L("anNoLoad") : L("anNoProcData");
    }
    if (services_.netMonitor && services_.netMonitor->failed()) return L("anNettopFail");
    if (services_.netMonitor && services_.netMonitor->history().empty()) return L("anMeasuring");
    return L("anMeasuringNet");
}

QString AnalysisView::killResult() const {
    return result_->isVisible() ? result_->text() : QString();
}

void AnalysisView::pickTime(TimePoint at) {
    // A moment nobody recorded is shown as such, not as the nearest recorded one.
    if (const StoredRange* range = loader_->range(); range && range->gapAt(at)) {
        analysis_.selectedTime = at;
        refresh();
        return;
    }
    const std::vector<TimePoint> times = analysis_.historyTimes(inputs());
    const auto index = closestEntry(times, at, [](TimePoint t) { return t; });
    if (!index) return;
    analysis_.selectedTime = times[*index];
    refresh();
}

void AnalysisView::backToRealtime() {
    analysis_.selectedTime.reset();
    refresh();
}

void AnalysisView::select(int32_t pid) {
    for (const AnalysisRow& r : rows_)
        if (r.pid == pid) return select(r.key());
}

void AnalysisView::select(const AnalysisRowKey& key) {
    if (analysis_.selected == key) return;
    analysis_.selected = key;
    refresh();
}

void AnalysisView::dismiss(int32_t pid) {
    for (const AnalysisRow& r : rows_)
        if (r.pid == pid) return dismiss(r.key());
}

void AnalysisView::dismiss(const AnalysisRowKey& key) {
    analysis_.dismiss(key);
    refresh();
}

std::optional<ProcessTarget> AnalysisView::targetOf(int32_t pid) const {
    const std::optional<AnalysisRowKey> chosen = analysis_.selected;
    // The row's own stamp: the process the user picked, not whoever holds its pid now.
    const AnalysisRow* row = nullptr;
    for (const AnalysisRow& r : rows_)
        if (r.pid == pid && (!row || (chosen && r.key() == *chosen))) row = &r;
    if (!row) return std::nullopt;
    // A row without a stamp (a network record) takes the one the feed knows for its pid now;
    // failing that, the kill flow reads it when the user asks.
    uint64_t start = row->startTime;
    if (start == 0)
        if (const auto live = feed_.liveProcess(pid)) start = live->startTime;
    return ProcessTarget{{pid, start}, row->name};
}

void AnalysisView::request(ProcessAction action, int32_t pid) {
    const std::optional<ProcessTarget> target = targetOf(pid);
    if (!target) return;
    report(action, flow_.run(action, {*target}, this));
}

void AnalysisView::requestTreeKill(int32_t pid) {
    const std::optional<ProcessTarget> root = targetOf(pid);
    if (!root) return;
    const auto nameOf = [this](int32_t member) {
        const auto live = feed_.liveProcess(member);
        return live ? live->name : QString();
    };
    report(ProcessAction::quit, flow_.runTree(ProcessAction::quit, *root, nameOf, this));
}

void AnalysisView::report(ProcessAction action, const std::optional<ActionResult>& result) {
    if (!result) return;
    result_->setVisible(true);
    Accessibility::announce(result_, KillFlow::resultText(action, *result));
    resultClear_->start();
}

void AnalysisView::showRowMenu(const QPoint& at) {
    const AnalysisRow* r = model_->rowAt(list_->indexAt(at).row());
    if (!r) return;
    const int32_t pid = r->pid;
    const AnalysisRowKey rowKey = r->key();
    // A row whose process has ended (or whose pid now names another) offers nothing to signal.
    const auto live = feed_.liveProcess(pid);
    const bool running = live && (r->startTime == 0 || live->startTime == 0 || live->startTime == r->startTime);
    // The menu acts on this row: it becomes the selection (and `r` may not outlive that).
    select(r->key());
    QMenu menu(this);
    QAction* quit = menu.addAction(L("anQuitSig"), this, [this, pid] { requestKill(pid, false); });
    QAction* force = menu.addAction(L("anForceSig"), this, [this, pid] { requestKill(pid, true); });
    quit->setEnabled(running);
    force->setEnabled(running);
    // The list's keys for the same, shown beside the entries.
    quit->setShortcut(QKeySequence(Qt::Key_Delete));
    force->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    if (model_->removable()) {
        QAction* remove = menu.addAction(L("anRemoveRow"), this, [this, rowKey] { dismiss(rowKey); });
        remove->setShortcut(removeKeys());
    }
    for (QAction* a : menu.actions())
        a->setShortcutContext(Qt::WidgetShortcut);
    menu.exec(list_->viewport()->mapToGlobal(at));
}

void AnalysisView::retranslate() {
    title_->setText(symbolTitle(analysis_.kind()));
    close_->setText(L("anClose"));
    realtime_->setText(L("anRealtime"));
    legend_->setText(legendText());
    legend_->setVisible(!legend_->text().isEmpty());
    symbol_->setAccessibleName(title_->text());
    chart_->setAccessibleName(title_->text());
    list_->setAccessibleName(listTitle());
}

void AnalysisView::showEvent(QShowEvent* event) {
    if (services_.netMonitor) services_.netMonitor->start();
    refresh();
    QWidget::showEvent(event);
}

void AnalysisView::hideEvent(QHideEvent* event) {
    if (services_.netMonitor) services_.netMonitor->stop();
    QWidget::hideEvent(event);
}

}  // namespace velmora
