#pragma once

#include <QColor>
#include <QPalette>

namespace velmora::test {

// A dark desktop's palette, as a dark GTK or Qt theme gives it: what the contrast checks read
// every window in, and what the pictures of a dark desktop are taken with.
inline QPalette darkDesktopPalette() {
    QPalette p;
    const QColor window(0x35, 0x35, 0x35), base(0x2D, 0x2D, 0x2D), text(0xEE, 0xEE, 0xEC);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, text);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, window);
        p.setColor(group, QPalette::Text, text);
        p.setColor(group, QPalette::Button, QColor(0x40, 0x40, 0x40));
        p.setColor(group, QPalette::ButtonText, text);
        p.setColor(group, QPalette::Highlight, QColor(0x15, 0x53, 0x9E));
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Mid, QColor(0x50, 0x50, 0x50));
        p.setColor(group, QPalette::PlaceholderText, QColor(0x9A, 0x9A, 0x98));
        p.setColor(group, QPalette::ToolTipBase, base);
        p.setColor(group, QPalette::ToolTipText, text);
    }
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x91, 0x91, 0x91));
    return p;
}

}  // namespace velmora::test
