#pragma once

#include <QFont>

namespace velmora::ViewFonts {

// The type sizes of the small views, in logical pixels so they match the point-based layout
// whatever the screen's DPI setting.
inline QFont sized(QFont f, int pixels, QFont::Weight weight = QFont::Normal) {
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}
inline QFont headline(const QFont& base) {
    return sized(base, 13, QFont::DemiBold);
}
inline QFont body(const QFont& base) {
    return sized(base, 13);
}
inline QFont caption(const QFont& base) {
    return sized(base, 11);
}
inline QFont caption2(const QFont& base) {
    return sized(base, 10);
}
// Digits of equal width, so changing figures do not jitter: the desktop's sans fonts
// (DejaVu, Noto, Cantarell) draw tabular digits by default.
inline QFont monoDigits(const QFont& base, int pixels) {
    return sized(base, pixels);
}
inline QFont caption2Mono(const QFont& base) {
    return monoDigits(base, 10);
}
inline QFont captionMono(const QFont& base) {
    return monoDigits(base, 11);
}

}  // namespace velmora::ViewFonts
