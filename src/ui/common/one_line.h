#pragma once

#include <QString>

namespace velmora {

// What the windows show of a text a process chose (its name, path, command line) on one
// line: every control character (C0, DEL, C1), the line and paragraph separators and the
// bidirectional embedding, override and isolate marks become U+FFFD, so such a text can
// neither break a row nor reorder the words around it.
QString oneLine(QString text);

// `text` cut in the middle to at most `maxChars` characters (an ellipsis included), for
// dialogs that have no width to elide to; surrogate pairs are never split.
QString elideMiddle(const QString& text, int maxChars);

// A tooltip that shows `text` literally: Qt takes a tooltip that looks like markup for rich
// text, so the text is escaped inside a paragraph that keeps its spaces.
QString plainToolTip(const QString& text);

}  // namespace velmora
