#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace velmora {

// The symbols the views use, named as in the design ("gearshape", "battery.75", ...). Each
// one is looked up in the desktop's icon theme by its freedesktop names first, and drawn
// from a bundled outline otherwise, so every symbol shows on every desktop.
namespace Symbols {

// The freedesktop icon names tried for a symbol, best first; empty for an unknown symbol.
QStringList themeNames(const QString& symbol);
// True when a bundled outline exists for the symbol.
bool hasBundled(const QString& symbol);

// The symbol as an icon (theme first, bundled outline otherwise). Null for an unknown name.
QIcon icon(const QString& symbol);
// The symbol in one colour, `sizePx` logical pixels square at `dpr`.
QPixmap pixmap(const QString& symbol, int sizePx, const QColor& color, qreal dpr = 1.0);

}  // namespace Symbols

}  // namespace velmora
