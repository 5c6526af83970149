#pragma once

// Reads a window as assistive tools do: its accessibility tree from the root down.
#include <QAbstractButton>
#include <QAccessible>
#include <QButtonGroup>
#include <QAccessibleInterface>
#include <QApplication>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <functional>

namespace velmora::test {

// Where an element sits, for a failure message: its class and object name.
inline QString describe(const QAccessibleInterface* i) {
    QObject* o = i->object();
    QString where = o ? QString::fromLatin1(o->metaObject()->className()) : QStringLiteral("(item)");
    if (o && !o->objectName().isEmpty()) where += QLatin1Char('#') + o->objectName();
    if (!o || i != QAccessible::queryAccessibleInterface(o)) {
        where += QStringLiteral(" child \"") + i->text(QAccessible::Name) + QLatin1Char('"');
    }
    return where + QStringLiteral(" [role 0x") + QString::number(int(i->role()), 16) + QLatin1Char(']');
}

// Controls a user acts on: each needs a name and, as a widget of its own, the keyboard focus.
inline bool isControl(QAccessible::Role r) {
    switch (r) {
        case QAccessible::PushButton:
        case QAccessible::CheckBox:
        case QAccessible::RadioButton:
        case QAccessible::ComboBox:
        case QAccessible::EditableText:
        case QAccessible::Slider:
        case QAccessible::SpinBox:
        case QAccessible::ButtonMenu:
        case QAccessible::ButtonDropDown:
        case QAccessible::List:
        case QAccessible::Table:
        case QAccessible::Tree:
        case QAccessible::PageTabList:
            return true;
        default:
            return false;
    }
}

// Painted or read-only things that carry information: each needs a name.
inline bool isInformative(QAccessible::Role r) {
    switch (r) {
        case QAccessible::Chart:
        case QAccessible::ProgressBar:
        case QAccessible::Graphic:
        case QAccessible::Animation:
        case QAccessible::Indicator:
        case QAccessible::Grouping:
        case QAccessible::PageTab:
        case QAccessible::ListItem:
        case QAccessible::Row:
        case QAccessible::Cell:
        case QAccessible::MenuItem:
            return true;
        default:
            return false;
    }
}

inline void walkAccessible(QAccessibleInterface* i, const std::function<void(QAccessibleInterface*)>& visit,
                           int depth = 0) {
    if (!i || !i->isValid() || depth > 40) return;
    if (i->state().invisible) return;
    visit(i);
    for (int c = 0, n = i->childCount(); c < n; ++c)
        walkAccessible(i->child(c), visit, depth + 1);
}

// Every problem a screen reader user or a keyboard user would meet in `root`: an element
// without a role or a name, a control that cannot take the focus.
inline QStringList accessProblems(QWidget* root) {
    QStringList problems;
    walkAccessible(QAccessible::queryAccessibleInterface(root), [&](QAccessibleInterface* i) {
        const QAccessible::Role role = i->role();
        if (role == QAccessible::NoRole) problems << describe(i) + QStringLiteral(": no role");
        if (!isControl(role) && !isInformative(role)) return;
        if (i->state().disabled && !isInformative(role)) return;
        if (i->text(QAccessible::Name).trimmed().isEmpty())
            problems << describe(i) + QStringLiteral(": no name");
        auto* w = qobject_cast<QWidget*>(i->object());
        // A part of a control that takes the focus (a field's clear button) is reached
        // through it.
        const bool part = w && w->parentWidget() && (w->parentWidget()->focusPolicy() & Qt::TabFocus);
        if (isControl(role) && w && !part && QAccessible::queryAccessibleInterface(w) == i && w->isEnabled() &&
            !(w->focusPolicy() & Qt::TabFocus))
            problems << describe(i) + QStringLiteral(": cannot take the focus");
    });
    return problems;
}

// The widgets Tab visits from `first`, once round the window.
// Tab is pressed on whatever has the focus, as a user presses it.
inline QList<QWidget*> tabCycle(QWidget* first, int limit = 400) {
    QList<QWidget*> seen;
    first->setFocus(Qt::TabFocusReason);
    QWidget* at = QApplication::focusWidget();
    while (at && !seen.contains(at) && seen.size() < limit) {
        seen << at;
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
    }
    return seen;
}

// The widgets in `window` that Tab should reach: shown, enabled and taking the Tab focus.
inline QList<QWidget*> tabStops(QWidget* window) {
    QList<QWidget*> out;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        // Tab enters a group of exclusive choices at the chosen one; the arrows move in it.
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && b->isCheckable() && !b->isChecked() &&
                                                         (b->autoExclusive() || b->group()))
            continue;
        if (w->isVisibleTo(window) && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() &&
            w->window() == window)
            out << w;
    }
    return out;
}

inline QString nameOf(const QWidget* w) {
    QString s = QString::fromLatin1(w->metaObject()->className());
    if (!w->objectName().isEmpty()) s += QLatin1Char('#') + w->objectName();
    return s;
}

}  // namespace velmora::test
