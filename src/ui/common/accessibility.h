#pragma once

#include "core/snapshot.h"

#include <QAccessibleWidget>
#include <QString>

#include <functional>

class QKeySequence;
class QLabel;
class QLineEdit;
class QWidget;

namespace velmora {

class Localizer;

// What assistive tools (screen readers) learn about the views' painted widgets, and the
// texts they read. Interfaces are made only when a tool asks for one, so a window nobody
// inspects pays nothing per tick.
namespace Accessibility {

using Maker = std::function<QAccessibleInterface*(QWidget*)>;

// Makes the interfaces of the painted widgets known to Qt (once per process); each view calls
// it, so whichever window opens first installs them.
void install();
// Adds the interface of a widget class, named as its metaobject names it ("velmora::Card").
void registerClass(const char* className, Maker make);

// The painted widgets under `root` speak the language of `loc` (the view's own localizer).
void useLocalizer(QWidget* root, const Localizer& loc);
// The localizer set on the nearest ancestor of `w`, or the shared one.
const Localizer& localizerFor(const QWidget* w);

// The level a gauge's value reaches, on the thresholds of its fill colour.
Severity gaugeSeverity(double percent);
// "CPU, 43 percent, critical".
QString gaugeText(const Localizer& loc, const QString& label, double percent);
// "CPU over the last 5 minutes, now 43%, peak 97%"; `seconds` is the span in sight.
QString chartText(const Localizer& loc, const QString& metric, double seconds, const QString& now,
                  const QString& peak);
QString chartEmptyText(const Localizer& loc, const QString& metric);

// Ctrl+,: opens the settings from the popover and every window.
QKeySequence settingsKeys();

// "Refresh (F5)": a control's help names its keys.
QString withShortcut(const QString& text, const QKeySequence& keys);
// Names `w` (an icon-only control) and shows the name with its keys as its help.
void describeShortcut(QWidget* w, const QString& name, const QKeySequence& keys);
// Names the clear button a search field shows while it holds text.
void nameClearButton(QLineEdit* field, const Localizer& loc);

// The first control under `root` that Tab reaches (shown, enabled), or null.
QWidget* firstTabStop(QWidget* root);

// `label` names `control` (a toggle or a slider beside it) for screen readers; the name is
// taken by nameFromLabels once the label has its text. No buddy: a label's "&" stays a text.
void labelFor(QLabel* label, QWidget* control);
// Names each control under `root` that a label names with the label's text.
void nameFromLabels(QWidget* root);

// Shows `text` in `live` (a status line) and tells assistive tools that it changed, so a
// screen reader speaks it.
void announce(QLabel* live, const QString& text);

// The base of the painted widgets' interfaces: a name computed on demand.
class PaintedWidget : public QAccessibleWidget {
  public:
    PaintedWidget(QWidget* w, QAccessible::Role role, std::function<QString(const QWidget*)> name,
                  std::function<QString(const QWidget*)> description = {});
    QString text(QAccessible::Text t) const override;

  private:
    std::function<QString(const QWidget*)> name_;
    std::function<QString(const QWidget*)> description_;
};

}  // namespace Accessibility
}  // namespace velmora
