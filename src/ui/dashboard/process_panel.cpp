#include "ui/dashboard/process_panel.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "inspect/process_actions.h"
#include "inspect/process_priority.h"
#include "platform/process_facts.h"
#include "ui/common/one_line.h"
#include "ui/common/accessibility.h"
#include "ui/common/symbols.h"
#include "ui/common/system_colors.h"
#include "ui/common/view_fonts.h"
#include "ui/dashboard/process_cell_delegate.h"

#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include <pwd.h>

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
        case ProcColumn::user:
            return 80;
        case ProcColumn::command:
            return 220;
        case ProcColumn::threads:
            return 60;
        case ProcColumn::state:
            return 44;
        case ProcColumn::nice:
            return 44;
        case ProcColumn::started:
            return 76;
        case ProcColumn::readTotal:
        case ProcColumn::writeTotal:
            return 84;
    }
    return 60;
}

// The login name of `uid`, looked up once per uid.
QString userName(uint32_t uid) {
    static QHash<uint32_t, QString> names;
    if (const auto it = names.constFind(uid); it != names.cend()) return *it;
    QString name = QString::number(uid);
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        name = QString::fromLocal8Bit(found->pw_name);
    names.insert(uid, name);
    return name;
}

// The running system's labels of a process; empty when it cannot be read.
ProcessLabels systemLabels(int32_t pid) {
    ProcessLabels out;
    const std::optional<platform::ProcFacts> facts = platform::systemProcessFacts().facts(pid);
    if (!facts) return out;
    out.user = userName(facts->uid);
    out.command = QString::fromStdString(facts->command);
    out.path = QString::fromStdString(facts->path);
    return out;
}

constexpr int kNiceValues[] = {-10, -5, 0, 5, 10, 19};

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
      tree_(new QToolButton(this)),
      empty_(nullptr),
      table_(new QTableView(this)),
      selection_(new QLabel(this)),
      quit_(new QPushButton(this)),
      forceQuit_(new QPushButton(this)),
      result_(new QLabel(this)) {
    model_.setIconProvider(services_.icons);
    model_.setLabelProvider(services_.labels ? services_.labels : ProcessTableModel::LabelProvider(systemLabels));
    model_.setLocalizer(&loc_);

    state_.setCumulativeRank(settings_.cumulativeRank());
    state_.setChosenColumns(procColumnsFromRaw(settings_.processColumns()));
    state_.setCollectGPU(settings_.collectProcessGPU());
    state_.setTree(settings_.processTree());
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
    group_->setObjectName(QStringLiteral("procGroupByName"));
    toolbar->addWidget(group_);
    tree_->setCheckable(true);
    tree_->setChecked(state_.tree());
    tree_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tree_->setAutoRaise(true);
    tree_->setObjectName(QStringLiteral("ptTreeView"));
    toolbar->addWidget(tree_);
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
    table_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    table_->horizontalHeader()->setStretchLastSection(false);
    table_->viewport()->installEventFilter(this);
    table_->installEventFilter(this);
    column->addWidget(table_, 1);
    // Over an empty search result, in the middle of the list.
    empty_ = new QLabel(table_->viewport());
    empty_->setObjectName(QStringLiteral("ptNoMatch"));
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setAttribute(Qt::WA_TransparentForMouseEvents);
    empty_->hide();

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
        if (on && tree_->isChecked()) tree_->setChecked(false);
        refresh();
    });
    connect(tree_, &QToolButton::toggled, this, [this](bool on) {
        tree_->setIcon(Symbols::icon(on ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("circle")));
        state_.setTree(on);
        settings_.setProcessTree(on);
        if (on && group_->isChecked()) group_->setChecked(false);
        refresh();
    });
    connect(table_->horizontalHeader(), &QHeaderView::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = makeColumnMenu(this);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(table_->horizontalHeader()->mapToGlobal(pos));
    });
    connect(table_->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int section, int, int width) { saveWidth(section, width); });
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
    group_->setAccessibleName(group_->text());
    group_->setIcon(Symbols::icon(group_->isChecked() ? QStringLiteral("checkmark.circle.fill")
                                                      : QStringLiteral("circle")));
    tree_->setText(loc_.t(QStringLiteral("ptTreeView")));
    tree_->setAccessibleName(tree_->text());
    tree_->setToolTip(loc_.t(QStringLiteral("ptTreeHint")));
    tree_->setIcon(Symbols::icon(tree_->isChecked() ? QStringLiteral("checkmark.circle.fill")
                                                    : QStringLiteral("circle")));
    empty_->setText(loc_.t(QStringLiteral("ptNoMatch")));
    empty_->setAccessibleName(empty_->text());
    table_->horizontalHeader()->setAccessibleName(loc_.t(QStringLiteral("ptColumns")));
    quit_->setText(loc_.t(QStringLiteral("actQuit")));
    forceQuit_->setText(loc_.t(QStringLiteral("actForceQuit")));
    model_.headerDataChanged(Qt::Horizontal, 0, std::max(0, model_.columnCount() - 1));
    updateSortIndicator();
    updateSelectionBar();
}

void ProcessPanel::setProcesses(const std::vector<ProcInfo>& processes) {
    state_.setProcesses(processes);
    refresh();
}

void ProcessPanel::refresh() {
    model_.refresh();
    if (state_.columns() != laidOut_) layOutColumns();
    updateSortIndicator();
    syncSelection();
    updateEmptyNote();
}

void ProcessPanel::layOutColumns() {
    // A column came or went: every section takes its width again, the user's where known.
    laidOut_ = state_.columns();
    layingOut_ = true;
    const QMap<QString, int> widths = settings_.processColumnWidths();
    QHeaderView* header = table_->horizontalHeader();
    for (int c = 0; c < model_.columnCount(); ++c) {
        const ProcColumn column = model_.columnAt(c);
        const int width = columnWidth(column);
        if (width == 0) {
            header->setSectionResizeMode(c, QHeaderView::Stretch);
        } else {
            header->setSectionResizeMode(c, QHeaderView::Interactive);
            header->resizeSection(c, widths.value(rawValue(column), width));
        }
    }
    layingOut_ = false;
}

void ProcessPanel::saveWidth(int section, int width) {
    if (layingOut_ || section < 0 || section >= model_.columnCount()) return;
    const ProcColumn column = model_.columnAt(section);
    if (columnWidth(column) == 0) return;  // the stretching name follows the window, not the user
    QMap<QString, int> widths = settings_.processColumnWidths();
    widths.insert(rawValue(column), width);
    settings_.setProcessColumnWidths(widths);
}

void ProcessPanel::updateEmptyNote() {
    const bool none = !state_.options().search.isEmpty() && state_.rows().empty();
    if (none) {
        empty_->setGeometry(table_->viewport()->rect());
        empty_->show();
    } else {
        empty_->hide();
    }
}

bool ProcessPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_->viewport() && event->type() == QEvent::Resize && empty_->isVisible())
        empty_->setGeometry(table_->viewport()->rect());
    if (!state_.tree()) return QWidget::eventFilter(watched, event);
    const auto& rows = state_.rows();
    if (watched == table_->viewport() && event->type() == QEvent::MouseButtonPress) {
        // A press on a parent's disclosure mark folds or unfolds it and selects nothing.
        const auto* press = static_cast<QMouseEvent*>(event);
        const QModelIndex index = table_->indexAt(press->position().toPoint());
        if (index.isValid() && model_.columnAt(index.column()) == ProcColumn::name &&
            index.row() < static_cast<int>(rows.size()) &&
            index.data(ProcessTableModel::BranchRole).toInt() > 0) {
            const QRect mark = ProcessCellDelegate::branchRect(table_->visualRect(index),
                                                               index.data(ProcessTableModel::DepthRole).toInt());
            if (press->position().x() >= mark.left() && press->position().x() <= mark.right() + 2) {
                const auto key = state_.keyOf(rows[index.row()]);
                setCollapsed(key, !state_.isCollapsed(key));
                return true;
            }
        }
    }
    if (watched == table_ && event->type() == QEvent::KeyPress) {
        // Left folds the current parent, Right unfolds it.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QModelIndex current = table_->currentIndex();
        if ((key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) && current.isValid() &&
            current.row() < static_cast<int>(rows.size()) && current.row() < static_cast<int>(state_.shape().size()) &&
            state_.shape()[current.row()].hasChildren) {
            setCollapsed(state_.keyOf(rows[current.row()]), key->key() == Qt::Key_Left);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ProcessPanel::setCollapsed(const ProcessTableState::RowKey& row, bool collapsed) {
    state_.setCollapsed(row, collapsed);
    refresh();
    // The keyboard stays on the process it folded, wherever its row went.
    const auto& rows = state_.rows();
    const int column = std::max(0, table_->currentIndex().column());
    for (int r = 0; r < model_.rowCount() && r < static_cast<int>(rows.size()); ++r)
        if (state_.keyOf(rows[r]) == row) {
            table_->selectionModel()->setCurrentIndex(model_.index(r, column), QItemSelectionModel::NoUpdate);
            break;
        }
}

QMenu* ProcessPanel::makeColumnMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    menu->setTitle(loc_.t(QStringLiteral("ptColumns")));
    menu->setAccessibleName(menu->title());
    const std::vector<ProcColumn>& chosen = state_.chosenColumns();
    for (ProcColumn column : allProcColumns()) {
        if (!procColumnOptional(column)) continue;
        if (column == ProcColumn::gpu && !state_.collectGPU()) continue;
        QAction* action = menu->addAction(ProcessTableModel::headerText(column, &loc_));
        action->setObjectName(QStringLiteral("ptColumn_") + rawValue(column));
        action->setCheckable(true);
        action->setChecked(std::find(chosen.begin(), chosen.end(), column) != chosen.end());
        connect(action, &QAction::toggled, this, [this, column](bool on) { setColumnShown(column, on); });
    }
    return menu;
}

void ProcessPanel::setColumnShown(ProcColumn column, bool shown) {
    if (!procColumnOptional(column)) return;
    std::vector<ProcColumn> chosen = state_.chosenColumns();
    std::erase(chosen, column);
    if (shown) chosen.push_back(column);
    state_.setChosenColumns(chosen);
    settings_.setProcessColumns(rawValues(state_.chosenColumns()));
    refresh();
    retranslate();
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
    // Ranked by the cumulative score, no column's figures are in order: the chevron would
    // promise what the rows do not keep, so the header says how they are ranked instead.
    const bool cumulative = o.cumulativeRank && rankStabilized(o.key);
    QHeaderView* header = table_->horizontalHeader();
    const QString note = cumulative ? loc_.t(QStringLiteral("ptRankedCumulative")) : QString();
    const QString hint = cumulative ? note : loc_.t(QStringLiteral("procSortHint"));
    if (header->isSortIndicatorShown() == cumulative) header->setSortIndicatorShown(!cumulative);
    if (sortHint_->text() != hint) sortHint_->setText(hint);
    if (model_.headerNote() != note) {
        model_.setHeaderNote(note);
        model_.headerDataChanged(Qt::Horizontal, 0, std::max(0, model_.columnCount() - 1));
    }
    for (int c = 0; c < model_.columnCount(); ++c)
        if (ProcessTableModel::sortKeyOf(model_.columnAt(c)) == o.key) {
            header->setSortIndicator(c, o.ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
            return;
        }
}

void ProcessPanel::sortByColumn(int column) {
    if (column < 0 || column >= model_.columnCount()) return;
    const std::optional<ProcSortKey> key = ProcessTableModel::sortKeyOf(model_.columnAt(column));
    if (!key) {
        updateSortIndicator();  // the header moved its chevron to the click; it goes back
        return;
    }
    state_.sortBy(*key);
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

    // Every further action goes, like the two above, through the kill flow with the identities
    // the rows carry; each looks the targets up again when chosen, as the menu may stay open
    // across ticks.
    auto add = [&](QMenu* into, const QString& key, const QString& text, bool enabled, auto slot) {
        QAction* action = into->addAction(text);
        action->setObjectName(key);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(menu, QStringLiteral("ptSuspend"), loc_.t(QStringLiteral("adSuspend")), signallable,
        [this, row] { request(ProcessAction::suspend, state_.targetsFor(row)); });
    add(menu, QStringLiteral("ptResume"), loc_.t(QStringLiteral("adResume")), signallable,
        [this, row] { request(ProcessAction::resume, state_.targetsFor(row)); });
    const bool single = row.group.isEmpty() && shown && flow_.control().mayActOn(pid);
    add(menu, QStringLiteral("ptQuitTree"), loc_.t(QStringLiteral("adTreeKill")), single, [this, row] {
        if (const ProcInfo* p = state_.rowOf(row)) quitTree({{p->pid, p->startTime}, p->name});
    });

    QMenu* priority = menu->addMenu(loc_.t(QStringLiteral("pdNice")));
    priority->menuAction()->setObjectName(QStringLiteral("ptPriority"));
    priority->setEnabled(signallable);
    const ProcInfo* own = row.group.isEmpty() ? state_.processOf(row) : nullptr;
    for (int value : offeredNiceValues()) {
        QAction* action = add(priority, QStringLiteral("ptNice_%1").arg(value), QString::number(value), true,
                              [this, row, value] { setPriority(state_.targetsFor(row), value); });
        action->setCheckable(true);
        action->setChecked(own && own->nice == value);
    }

    QMenu* signalMenu = menu->addMenu(loc_.t(QStringLiteral("ptSendSignal")));
    signalMenu->menuAction()->setObjectName(QStringLiteral("ptSendSignal"));
    signalMenu->setEnabled(signallable);
    for (const KillFlow::NamedSignal& s : KillFlow::offeredSignals())
        add(signalMenu, QLatin1String(s.name), QLatin1String(s.name), true,
            [this, row, signal = s.signal] { sendSignal(signal, state_.targetsFor(row)); });

    menu->addSeparator();
    QMenu* copyMenu = menu->addMenu(loc_.t(QStringLiteral("pdCopy")));
    copyMenu->menuAction()->setObjectName(QStringLiteral("ptCopy"));
    copyMenu->setEnabled(shown != nullptr);
    add(copyMenu, QStringLiteral("ptCopyPid"), QStringLiteral("PID"), true, [this, row] {
        QStringList lines;
        for (const ProcessTarget& t : state_.targetsFor(row))
            lines << QString::number(t.ref.pid);
        copy(lines);
    });
    add(copyMenu, QStringLiteral("ptCopyName"), loc_.t(QStringLiteral("colName")), true, [this, row] {
        QStringList lines;
        for (const ProcessTarget& t : state_.targetsFor(row))
            lines << t.name;
        copy(lines);
    });
    add(copyMenu, QStringLiteral("ptCopyCommand"), loc_.t(QStringLiteral("pdCommand")), true, [this, row] {
        QStringList lines;
        for (const ProcessTarget& t : state_.targetsFor(row)) {
            ProcInfo p;
            p.pid = t.ref.pid;
            p.startTime = t.ref.startTime;
            lines << model_.labelsOf(p).command;
        }
        copy(lines);
    });
    // Reading the path once, now, for one process: a process whose executable cannot be read
    // (another user's, or gone) offers no folder.
    const bool known = own && !model_.labelsOf(*own).path.isEmpty();
    add(menu, QStringLiteral("ptReveal"), loc_.t(QStringLiteral("adFinder")), known, [this, row] {
        if (const ProcInfo* p = state_.processOf(row)) reveal(model_.labelsOf(*p).path);
    });
    return menu;
}

const std::vector<int>& ProcessPanel::offeredNiceValues() {
    static const std::vector<int> values(std::begin(kNiceValues), std::end(kNiceValues));
    return values;
}

void ProcessPanel::request(ProcessAction action, std::vector<ProcessTarget> targets) {
    const std::optional<ActionResult> result = flow_.run(action, std::move(targets), this);
    if (!result) return;
    // Ended processes leave the selection; suspended or resumed ones stay chosen.
    if (action == ProcessAction::quit || action == ProcessAction::forceQuit) state_.settle(*result);
    syncSelection();
    showResult(KillFlow::resultText(action, *result));
}

void ProcessPanel::sendSignal(int signal, std::vector<ProcessTarget> targets) {
    const std::optional<ActionResult> result = flow_.sendSignal(signal, std::move(targets), this);
    if (!result) return;
    showResult(KillFlow::signalResultText(signal, *result));
}

void ProcessPanel::quitTree(const ProcessTarget& root) {
    const auto nameOf = [this](int32_t pid) {
        for (const ProcInfo& p : state_.processes())
            if (p.pid == pid) return p.name;
        return QString();
    };
    const std::optional<ActionResult> result = flow_.runTree(ProcessAction::quit, root, nameOf, this);
    if (!result) return;
    state_.settle(*result);
    syncSelection();
    showResult(KillFlow::resultText(ProcessAction::quit, *result));
}

void ProcessPanel::setPriority(const std::vector<ProcessTarget>& targets, int value) {
    const int clamped = ProcessPriority::clamp(value);
    ActionResult result;
    for (const ProcessTarget& t : targets) {
        if (!flow_.control().mayActOn(t.ref.pid)) {
            result.refused.push_back(t.ref.pid);
            continue;
        }
        result.add(t.ref.pid, flow_.setPriority(flow_.control().stamp(t.ref.pid, t.ref.startTime), clamped));
    }
    if (targets.empty()) return;
    QStringList parts;
    if (!result.done.empty()) parts << loc_.t(QStringLiteral("pdNiceChanged"), clamped);
    if (!result.ended.empty()) parts << loc_.t(QStringLiteral("killEnded"), static_cast<qulonglong>(result.ended.size()));
    if (!result.refused.empty()) parts << loc_.t(QStringLiteral("pdNiceFail"));
    showResult(parts.join(u' '));
}

void ProcessPanel::copy(const QStringList& lines) {
    if (lines.isEmpty()) return;
    const QString text = lines.join(u'\n');
    if (services_.copyText)
        services_.copyText(text);
    else if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

void ProcessPanel::reveal(const QString& path) {
    if (path.isEmpty()) return;
    const QUrl folder = QUrl::fromLocalFile(ProcessActions::folderOf(path));
    if (services_.openUrl)
        services_.openUrl(folder);
    else
        QDesktopServices::openUrl(folder);
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
