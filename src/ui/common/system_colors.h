#pragma once

#include "core/snapshot.h"

#include <QColor>
#include <QPalette>

namespace velmora::SystemColor {

// The status colours shared by the status image and the views. Chosen to read on light and
// dark panels alike.
inline QColor green() {
    return QColor(0x34, 0xC7, 0x59);
}
inline QColor yellow() {
    return QColor(0xFF, 0xCC, 0x00);
}
inline QColor orange() {
    return QColor(0xFF, 0x95, 0x00);
}
inline QColor red() {
    return QColor(0xFF, 0x3B, 0x30);
}
inline QColor blue() {
    return QColor(0x0A, 0x84, 0xFF);
}
inline QColor teal() {
    return QColor(0x30, 0xB0, 0xC7);
}
inline QColor purple() {
    return QColor(0xAF, 0x52, 0xDE);
}

// The colour of an overall load level, wherever the level is shown.
inline QColor forSeverity(Severity severity) {
    switch (severity) {
        case Severity::normal:
            return green();
        case Severity::elevated:
            return yellow();
        case Severity::high:
            return orange();
        case Severity::critical:
            return red();
    }
    return green();
}

// Dimmed text of the status image: a neutral grey that stays legible on light and dark
// panels, since a tray never tells its background colour.
inline QColor secondaryLabel() {
    return QColor(0x8E, 0x8E, 0x93);
}

// Secondary text and symbols inside a window: the palette's text colour, softened.
inline QColor secondary(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(0.6f);
    return c;
}

}  // namespace velmora::SystemColor
