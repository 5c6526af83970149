#pragma once

#include "core/snapshot.h"

#include <QColor>
#include <QPalette>

#include <algorithm>
#include <cmath>

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

// Contrast as WCAG 2.1 measures it: text needs 4.5:1 against its background, large text
// (18 pt, or 14 pt bold) 3:1.
inline constexpr double kTextContrast = 4.5;
inline constexpr double kLargeTextContrast = 3.0;

// `fg` laid over `bg` by its alpha, as the screen shows it.
inline QColor over(const QColor& fg, const QColor& bg) {
    const double a = fg.alphaF();
    auto mix = [a](double f, double b) { return f * a + b * (1 - a); };
    return QColor::fromRgbF(static_cast<float>(mix(fg.redF(), bg.redF())), static_cast<float>(mix(fg.greenF(), bg.greenF())),
                            static_cast<float>(mix(fg.blueF(), bg.blueF())));
}

inline double relativeLuminance(const QColor& c) {
    auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// From 1 (the same) to 21 (black on white); a translucent `fg` counts as laid over `bg`.
inline double contrastRatio(const QColor& fg, const QColor& bg) {
    const double a = relativeLuminance(over(fg, bg)), b = relativeLuminance(bg);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// A background darker than this reads better with light text than with dark.
inline bool isDark(const QColor& background) {
    return relativeLuminance(background) < 0.179;
}
inline bool isDark(const QPalette& palette) {
    return isDark(palette.color(QPalette::Window));
}

// `fg` as text on `bg`: itself where it reads, otherwise the same hue made darker on a light
// background or lighter on a dark one, just until it does. The status colours keep their
// meaning in both palettes: a darker orange on light windows, a lighter red on dark ones.
inline QColor readable(const QColor& fg, const QColor& bg, double minimum = kTextContrast) {
    QColor c = over(fg, bg);
    if (contrastRatio(c, bg) >= minimum) return c;
    const bool lighten = isDark(bg);
    float h, s, l, a;
    c.getHslF(&h, &s, &l, &a);
    for (int step = 0; step < 50 && contrastRatio(c, bg) < minimum; ++step) {
        l = std::clamp(l + (lighten ? 0.02f : -0.02f), 0.0f, 1.0f);
        c = QColor::fromHslF(h, s, l);
    }
    return c;
}

// A status colour as text on the palette's window.
inline QColor textOn(const QColor& status, const QPalette& palette) {
    return readable(status, palette.color(QPalette::Window));
}

}  // namespace velmora::SystemColor
