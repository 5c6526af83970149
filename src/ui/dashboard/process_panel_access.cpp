// The process panel's keys and what it tells assistive tools; kept apart from the layout so
// the two change independently.
#include "ui/dashboard/process_panel.h"

#include "core/localizer.h"
#include "ui/common/accessibility.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTreeView>

namespace velmora {

QKeySequence ProcessPanel::quitKeys() {
    return QKeySequence(Qt::Key_Delete);
}

QKeySequence ProcessPanel::forceQuitKeys() {
    return QKeySequence(Qt::SHIFT | Qt::Key_Delete);
}

void ProcessPanel::setUpAccess() {
    Accessibility::useLocalizer(this, loc_);
    QAbstractItemView* view = table_;
    // Tab leaves the table; the arrows move inside it.
    view->setTabKeyNavigation(false);

    // Ctrl+F reaches the search from anywhere in the window.
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        search_->setFocus(Qt::ShortcutFocusReason);
        search_->selectAll();
    });
    // Delete and Shift+Delete in the table act on the selection as the buttons do, through
    // the same confirmation (the search field keeps its own Delete key; a row's menu, its
    // own entries).
    auto press = [view](const QKeySequence& keys, QPushButton* button) {
        auto* s = new QShortcut(keys, view);
        s->setContext(Qt::WidgetShortcut);
        connect(s, &QShortcut::activated, button, [button] {
            if (button->isEnabled() && button->isVisible()) button->click();
        });
    };
    press(quitKeys(), quit_);
    press(forceQuitKeys(), forceQuit_);
    // Enter opens the current row's details, as the menu's first entry does.
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* s = new QShortcut(QKeySequence(key), view);
        s->setContext(Qt::WidgetShortcut);
        connect(s, &QShortcut::activated, this, [this, view] {
            const QModelIndex current = view->currentIndex();
            const auto& rows = state_.rows();
            if (!current.isValid() || current.row() >= static_cast<int>(rows.size())) return;
            QMenu* menu = makeRowMenu(state_.keyOf(rows[current.row()]), this);
            if (auto* open = menu->findChild<QAction*>(QStringLiteral("ctxDetail")); open && open->isEnabled())
                open->trigger();
            delete menu;
        });
    }

    connect(&loc_, &Localizer::languageChanged, this, &ProcessPanel::renameForAccess);
    renameForAccess();
}

void ProcessPanel::renameForAccess() {
    const QString search = loc_.t(QStringLiteral("procSearch"));
    search_->setAccessibleName(search);
    search_->setToolTip(Accessibility::withShortcut(search, QKeySequence(QKeySequence::Find)));
    Accessibility::nameClearButton(search_, loc_);
    rankMode_->setAccessibleName(loc_.t(QStringLiteral("procRankMode")));
    table_->setAccessibleName(loc_.t(QStringLiteral("a11yProcessTable")));
    quit_->setToolTip(Accessibility::withShortcut(quit_->text(), quitKeys()));
    forceQuit_->setToolTip(Accessibility::withShortcut(forceQuit_->text(), forceQuitKeys()));
}

}  // namespace velmora
