#include "ui/dashboard/process_panel.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "ui/common/accessibility.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"
#include "ui/dashboard/process_cell_delegate.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace velmora {

namespace {

constexpr int kResultMs = 3000;

// Fixed column widths; the name takes what is left.
int columnWidth(ProcColumn column) {
    switch (column) {
        case ProcColumn::pid:
            return 52;
        case ProcColumn::name:
            return 0;
        case ProcColumn::cpu:
            return 56;
        case ProcColumn::gpu:
            return 52;
        case ProcColumn::mem:
            return 76;
        case ProcColumn::disk:
            return 86;
        case ProcColumn::energy:
            return 52;
    }
    return 60;
}

// The header's sort mark points up for an ascending order and down for a descending one; Qt's
// header draws it the other way round.
class ChevronStyle : public QProxyStyle {
  public:
    using QProxyStyle::QProxyStyle;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
        if (element == PE_IndicatorHeaderArrow && header && header->sortIndicator != QStyleOptionHeader::None) {
            QStyleOptionHeader flipped(*header);
            flipped.sortIndicator = header->sortIndicator == QStyleOptionHeader::SortUp ? QStyleOptionHeader::SortDown
                                                                                       : QStyleOptionHeader::SortUp;
            QProxyStyle::drawPrimitive(element, &flipped, painter, widget);
            return;
        }
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};

}  // namespace

ProcessPanel::ProcessPanel(AppSettings& settings, Localizer& loc, Services services, QWidget* parent)
    : QWidget(parent),
      settings_(settings),
      loc_(loc),
      services_(std::move(services)),
      flow_(services_.actions),
      model_(state_),
      search_(new QLineEdit(this)),
      sortHint_(new QLabel(this)),
      rankMode_(new QComboBox(this)),
      group_(new QToolButton(this)),
      table_(new QTableView(this)),
      selection_(new QLabel(this)),
      quit_(new QPushButton(this)),
      forceQuit_(new QPushButton(this)),
      result_(new QLabel(this)) {
    model_.setIconProvider(services_.icons);
    model_.setLocalizer(&loc_);

    state_.setCumulativeRank(settings_.cumulativeRank());
    state_.setCollectGPU(settings_.collectProcessGPU());
    model_.refresh();

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);

    auto* toolbar = new QHBoxLayout;
    search_->addAction(Symbols::icon(QStringLiteral("magnifyingglass")), QLineEdit::LeadingPosition);
    search_->setClearButtonEnabled(true);
    toolbar->addWidget(search_, 1);
    toolbar->addWidget(rankMode_);
    group_->setCheckable(true);
    group_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    group_->setAutoRaise(true);
    toolbar->addWidget(group_);
    column->addLayout(toolbar);
    sortHint_->setFont(ViewFonts::caption(font()));
    sortHint_->setWordWrap(true);
    column->addWidget(sortHint_);

    table_->setModel(&model_);
    table_->setItemDelegate(new ProcessCellDelegate(table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    // A click toggles its row, as in a list of checkboxes.
    table_->setSelectionMode(QAbstractItemView::MultiSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSortingEnabled(false);  // the state orders rows; the header only asks it to
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setIconSize(QSize(16, 16));
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(22);
    table_->horizontalHeader()->setSectionsClickable(true);
    table_->horizontalHeader()->setSortIndicatorShown(true);
    table_->horizontalHeader()->setHighlightSections(false);
    auto* chevrons = new ChevronStyle;
    chevrons->setParent(table_->horizontalHeader());
    table_->horizontalHeader()->setStyle(chevrons);
    table_->setContextMenuPolicy(Qt::CustomContextMenu);
    column->addWidget(table_, 1);

    auto* bar = new QHBoxLayout;
    bar->addWidget(selection_, 1);
    bar->addWidget(quit_);
    bar->addWidget(forceQuit_);
    column->addLayout(bar);
    result_->setFont(ViewFonts::caption(font()));
    result_->setWordWrap(true);
    result_->hide();
    column->addWidget(result_);

    resultTimer_.setSingleShot(true);
    resultTimer_.setInterval(kResultMs);
    connect(&resultTimer_, &QTimer::timeout, this, &ProcessPanel::clearResult);

    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) {
        state_.setSearch(text);
        refresh();
    });
    connect(rankMode_, &QComboBox::activated, this, [this](int index) { settings_.setCumulativeRank(index == 1); });
    connect(&settings_, &AppSettings::cumulativeRankChanged, this, [this](bool cumulative) {
        rankMode_->setCurrentIndex(cumulative ? 1 : 0);
        state_.setCumulativeRank(cumulative);
        refresh();
    });
    connect(&settings_, &AppSettings::collectProcessGPUChanged, this, [this](bool collect) {
        state_.setCollectGPU(collect);
        refresh();
    });
    connect(group_, &QToolButton::toggled, this, [this](bool on) {
        group_->setIcon(Symbols::icon(on ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle")));
        state_.setGrouped(on);
        refresh();
    });
    connect(table_->horizontalHeader(), &QHeaderView::sectionClicked, this, &ProcessPanel::sortByColumn);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ProcessPanel::takeSelectionFromView);
    connect(table_, &QTableView::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = table_->indexAt(pos);
        if (!index.isValid()) return;
        const auto& rows = state_.rows();
        if (index.row() >= static_cast<int>(rows.size())) return;
        QMenu* menu = makeRowMenu(state_.keyOf(rows[index.row()]), this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(table_->viewport()->mapToGlobal(pos));
    });
    connect(quit_, &QPushButton::clicked, this,
            [this] { request(ProcessAction::quit, state_.selectedTargets()); });
    connect(forceQuit_, &QPushButton::clicked, this,
            [this] { request(ProcessAction::forceQuit, state_.selectedTargets()); });
    connect(&loc_, &Localizer::languageChanged, this, &ProcessPanel::retranslate);

    retranslate();
    refresh();
    setUpAccess();
}

ProcessPanel::~ProcessPanel() = default;

void ProcessPanel::retranslate() {
    search_->setPlaceholderText(loc_.t(QStringLiteral("procSearch")));
    sortHint_->setText(loc_.t(QStringLiteral("procSortHint")));
    QPalette p = sortHint_->palette();
    p.setColor(QPalette::WindowText, SystemColor::secondary(palette()));
    sortHint_->setPalette(p);
    rankMode_->clear();
    rankMode_->addItem(loc_.t(QStringLiteral("procRankRealtime")));
    rankMode_->addItem(loc_.t(QStringLiteral("procRankCumulative")));
    rankMode_->setCurrentIndex(settings_.cumulativeRank() ? 1 : 0);
    rankMode_->setToolTip(loc_.t(QStringLiteral("procRankMode")) + QStringLiteral(": ") +
                          loc_.t(QStringLiteral("procRankHint")));
    group_->setText(loc_.t(QStringLiteral("procGroupByName")));
    group_->setIcon(Symbols::icon(group_->isChecked() ? QStringLiteral("checkmark.circle.fill")
                                                      : QStringLiteral("circle")));
    quit_->setText(loc_.t(QStringLiteral("actQuit")));
    forceQuit_->setText(loc_.t(QStringLiteral("actForceQuit")));
    model_.headerDataChanged(Qt::Horizontal, 0, std::max(0, model_.columnCount() - 1));
    updateSelectionBar();
}

void ProcessPanel::setProcesses(const std::vector<ProcInfo>& processes) {
    state_.setProcesses(processes);
    refresh();
}

void ProcessPanel::refresh() {
    model_.refresh();
    if (state_.columns() != laidOut_) {
        // A column came or went: every section takes its width again.
        laidOut_ = state_.columns();
        QHeaderView* header = table_->horizontalHeader();
        for (int c = 0; c < model_.columnCount(); ++c) {
            const int width = columnWidth(model_.columnAt(c));
            if (width == 0) {
                header->setSectionResizeMode(c, QHeaderView::Stretch);
            } else {
                header->setSectionResizeMode(c, QHeaderView::Fixed);
                header->resizeSection(c, width);
            }
        }
    }
    updateSortIndicator();
    syncSelection();
}

void ProcessPanel::syncSelection() {
    // The view's selection is rebuilt from the row keys after every change, so it follows
    // each process or group to its new row and never sticks to a row index.
    syncing_ = true;
    QItemSelection selection;
    const auto& rows = state_.rows();
    const int shown = model_.rowCount();
    const int last = model_.columnCount() - 1;
    if (!state_.selection().empty())
        for (int r = 0; r < shown && r < static_cast<int>(rows.size()); ++r)
            if (state_.selection().contains(state_.keyOf(rows[r])))
                selection.select(model_.index(r, 0), model_.index(r, last));
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    syncing_ = false;
    updateSelectionBar();
}

void ProcessPanel::takeSelectionFromView() {
    if (syncing_) return;
    // Only rows on screen can be selected: the view's selection is the whole of it.
    std::set<ProcessTableState::RowKey> keys;
    const auto& rows = state_.rows();
    const int shown = std::min(model_.rowCount(), static_cast<int>(rows.size()));
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        if (index.row() < shown) keys.insert(state_.keyOf(rows[index.row()]));
    state_.setSelection(std::move(keys));
    updateSelectionBar();
}

void ProcessPanel::resetView() {
    clearResult();
    state_.reset();
    {
        const QSignalBlocker quiet(search_);
        search_->clear();
    }
    refresh();
    table_->scrollToTop();
}

void ProcessPanel::updateSelectionBar() {
    const size_t n = state_.selection().size();
    selection_->setText(selectionText());
    quit_->setEnabled(n > 0);
    forceQuit_->setEnabled(n > 0);
}

QString ProcessPanel::selectionText() const {
    const size_t n = state_.selection().size();
    return n > 0 ? loc_.t(QStringLiteral("procSelectedN"), static_cast<qulonglong>(n))
                 : loc_.t(QStringLiteral("procSelectHint"));
}

void ProcessPanel::updateSortIndicator() {
    const ProcTableOptions& o = state_.options();
    for (int c = 0; c < model_.columnCount(); ++c)
        if (ProcessTableModel::sortKeyOf(model_.columnAt(c)) == o.key) {
            table_->horizontalHeader()->setSortIndicator(c, o.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
            return;
        }
}

void ProcessPanel::sortByColumn(int column) {
    if (column < 0 || column >= model_.columnCount()) return;
    state_.sortBy(ProcessTableModel::sortKeyOf(model_.columnAt(column)));
    refresh();
}

QMenu* ProcessPanel::makeRowMenu(const ProcessTableState::RowKey& row, QWidget* parent) {
    auto* menu = new QMenu(parent);
    const ProcInfo* shown = state_.rowOf(row);
    const int32_t pid = shown ? shown->pid : row.pid;
    QAction* detail = menu->addAction(loc_.t(QStringLiteral("ctxDetail")));
    detail->setObjectName(QStringLiteral("ctxDetail"));
    // The keys shown beside the entries are the table's own (see setUpAccess).
    detail->setShortcut(QKeySequence(Qt::Key_Return));
    detail->setShortcutContext(Qt::WidgetShortcut);
    detail->setEnabled(static_cast<bool>(services_.openDetail) && row.group.isEmpty() && shown);
    connect(detail, &QAction::triggered, this, [this, pid] {
        if (services_.openDetail) services_.openDetail(pid);
    });
    menu->addSeparator();
    QAction* quit = menu->addAction(loc_.t(QStringLiteral("anQuitSig")));
    quit->setObjectName(QStringLiteral("anQuitSig"));
    QAction* force = menu->addAction(loc_.t(QStringLiteral("anForceSig")));
    force->setObjectName(QStringLiteral("anForceSig"));
    quit->setShortcut(quitKeys());
    force->setShortcut(forceQuitKeys());
    quit->setShortcutContext(Qt::WidgetShortcut);
    force->setShortcutContext(Qt::WidgetShortcut);
    bool signallable = false;
    for (const ProcessTarget& t : state_.targetsFor(row))
        signallable = signallable || flow_.control().mayActOn(t.ref.pid);
    quit->setEnabled(signallable);
    force->setEnabled(signallable);
    connect(quit, &QAction::triggered, this,
            [this, row] { request(ProcessAction::quit, state_.targetsFor(row)); });
    connect(force, &QAction::triggered, this,
            [this, row] { request(ProcessAction::forceQuit, state_.targetsFor(row)); });
    return menu;
}

void ProcessPanel::request(ProcessAction action, std::vector<ProcessTarget> targets) {
    const std::optional<ActionResult> result = flow_.run(action, std::move(targets), this);
    if (!result) return;
    state_.settle(*result);
    syncSelection();
    showResult(KillFlow::resultText(action, *result));
}

void ProcessPanel::showResult(const QString& text) {
    result_->show();
    Accessibility::announce(result_, text);
    resultTimer_.start();
}

QString ProcessPanel::resultText() const {
    return result_->isVisibleTo(this) ? result_->text() : QString();
}

void ProcessPanel::clearResult() {
    resultTimer_.stop();
    result_->clear();
    result_->hide();
}

}  // namespace velmora
