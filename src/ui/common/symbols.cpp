#include "ui/common/symbols.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QHash>
#include <QIconEngine>
#include <QPalette>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace velmora::Symbols {

namespace {

struct Symbol {
    QStringList themeNames;
    const char* svg;  // 24 × 24 outline, drawn in black and tinted when used
};

// Simple outlines in the spirit of the theme icons they stand in for.
const QHash<QString, Symbol>& table() {
    static const QHash<QString, Symbol> symbols =
        {
            {QStringLiteral("battery.100.bolt"),
             {{"battery-full-charging-symbolic", "battery-100-charging", "battery-full-charging"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><rect x="1.5" y="6.5" width="19" height="11" rx="2.5" fill="none" stroke="#000" stroke-width="1.5"/><rect x="21" y="10" width="2" height="4" rx="1"/><rect x="3.5" y="8.5" width="15" height="7" rx="1"/><path d="M12.2 7.2 7.8 12.6h3.2l-1.2 4.2 4.4-5.4h-3.2z" fill="#fff"/></svg>)"}},
            {QStringLiteral("battery.75"),
             {{"battery-good-symbolic", "battery-080", "battery-good"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><rect x="1.5" y="6.5" width="19" height="11" rx="2.5" fill="none" stroke="#000" stroke-width="1.5"/><rect x="21" y="10" width="2" height="4" rx="1"/><rect x="3.5" y="8.5" width="11" height="7" rx="1"/></svg>)"}},
            {QStringLiteral("fanblades.fill"),
             {{"fan-symbolic", "sensors-fan-symbolic", "fan"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M12 10.2c-.6-3.6.4-7.6 3.6-8 2.8-.3 3.8 3.4 1.2 5.6-1.4 1.2-3 1.8-4.8 2.4zM13.8 12c3.6-.6 7.6.4 8 3.6.3 2.8-3.4 3.8-5.6 1.2-1.2-1.4-1.8-3-2.4-4.8zM12 13.8c.6 3.6-.4 7.6-3.6 8-2.8.3-3.8-3.4-1.2-5.6 1.4-1.2 3-1.8 4.8-2.4zM10.2 12c-3.6.6-7.6-.4-8-3.6-.3-2.8 3.4-3.8 5.6-1.2 1.2 1.4 1.8 3 2.4 4.8z"/><circle cx="12" cy="12" r="1.6"/></svg>)"}},
            {QStringLiteral("thermometer.medium"),
             {{"temperature-symbolic", "sensors-temperature-symbolic", "temperature-normal"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M9.5 14.2V4.5a2.5 2.5 0 0 1 5 0v9.7a4.5 4.5 0 1 1-5 0z" fill="none" stroke="#000" stroke-width="1.5"/><circle cx="12" cy="17.8" r="2.4"/><rect x="11.1" y="9" width="1.8" height="8" rx=".9"/></svg>)"}},
            {QStringLiteral("checkmark.seal.fill"),
             {{"emblem-ok-symbolic", "emblem-default-symbolic", "emblem-default"}, R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M12 1.5l2.4 1.9 3-.4 1.2 2.8 2.8 1.2-.4 3 1.9 2.4-1.9 2.4.4 3-2.8 1.2-1.2 2.8-3-.4L12 22.5l-2.4-1.9-3 .4-1.2-2.8-2.8-1.2.4-3L1.1 12 3 9.6l-.4-3 2.8-1.2L6.6 2.6l3 .4z"/><path d="M7.6 12.2l3 3 5.8-6.2" fill="none" stroke="#fff" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/></svg>)"}},
            {QStringLiteral("hourglass"),
             {{"content-loading-symbolic", "appointment-soon-symbolic", "appointment-soon"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M6 2.5h12M6 21.5h12" stroke="#000" stroke-width="1.8" stroke-linecap="round"/><path d="M7.5 3v3.2c0 2.2 2.4 4 4.5 5.8-2.1 1.8-4.5 3.6-4.5 5.8V21h9v-3.2c0-2.2-2.4-4-4.5-5.8 2.1-1.8 4.5-3.6 4.5-5.8V3" fill="none" stroke="#000" stroke-width="1.6" stroke-linejoin="round"/><path d="M9.3 19.8c0-1.6 1.3-2.6 2.7-3.6 1.4 1 2.7 2 2.7 3.6z"/></svg>)"}},
            {QStringLiteral("arrow.up.left.and.arrow.down.right"),
             {{"view-fullscreen-symbolic", "view-fullscreen"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="1.8" stroke-linecap="round" stroke-linejoin="round"><path d="M4 10V4h6M4 4l6.5 6.5M20 14v6h-6M20 20l-6.5-6.5"/></svg>)"}},
            {QStringLiteral("internaldrive"),
             {{"drive-harddisk-symbolic", "drive-harddisk"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M5.5 5h13l3 8.5v4a1.5 1.5 0 0 1-1.5 1.5H4a1.5 1.5 0 0 1-1.5-1.5v-4z" fill="none" stroke="#000" stroke-width="1.5" stroke-linejoin="round"/><path d="M2.8 13.2h18.4" stroke="#000" stroke-width="1.5"/><circle cx="17.5" cy="16" r="1.1"/></svg>)"}},
            {QStringLiteral("cpu"),
             {{"cpu-symbolic", "computer-chip-symbolic"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="1.5"><rect x="5.5" y="5.5" width="13" height="13" rx="2"/><rect x="9" y="9" width="6" height="6" rx="1"/><path d="M9 2v3.5M12 2v3.5M15 2v3.5M9 18.5V22M12 18.5V22M15 18.5V22M2 9h3.5M2 12h3.5M2 15h3.5M18.5 9H22M18.5 12H22M18.5 15H22"/></svg>)"}},
            {QStringLiteral("cpu.fill"),
             {{"video-display-symbolic"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><rect x="5" y="5" width="14" height="14" rx="2"/><rect x="9" y="9" width="6" height="6" rx="1" fill="#fff"/><path d="M9 2v3.5M12 2v3.5M15 2v3.5M9 18.5V22M12 18.5V22M15 18.5V22M2 9h3.5M2 12h3.5M2 15h3.5M18.5 9H22M18.5 12H22M18.5 15H22" stroke="#000" stroke-width="1.5"/></svg>)"}},
            {QStringLiteral("memorychip"),
             {{"media-flash-symbolic", "memory-symbolic"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="1.5"><rect x="2.5" y="6.5" width="19" height="10" rx="1.5"/><path d="M6 9.5v4M10 9.5v4M14 9.5v4M18 9.5v4M5 16.5V19M9 16.5V19M15 16.5V19M19 16.5V19"/></svg>)"}},
            {QStringLiteral("network"),
             {{"network-wired-symbolic", "network-workgroup-symbolic"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="1.5"><circle cx="12" cy="12" r="9.5"/><ellipse cx="12" cy="12" rx="4" ry="9.5"/><path d="M2.5 12h19M4 7h16M4 17h16"/></svg>)"}},
            {QStringLiteral("gearshape"),
             {{"preferences-system-symbolic", "emblem-system-symbolic", "preferences-system"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path fill-rule="evenodd" d="M10.3 2h3.4l.5 2.6 1.6.7 2.2-1.5 2.4 2.4-1.5 2.2.7 1.6 2.4.5v3.4l-2.4.5-.7 1.6 1.5 2.2-2.4 2.4-2.2-1.5-1.6.7-.5 2.6h-3.4l-.5-2.6-1.6-.7-2.2 1.5-2.4-2.4 1.5-2.2-.7-1.6L2 13.7v-3.4l2.6-.5.7-1.6-1.5-2.2 2.4-2.4 2.2 1.5 1.6-.7zM12 8.4a3.6 3.6 0 1 0 0 7.2 3.6 3.6 0 0 0 0-7.2z"/></svg>)"}},
            {QStringLiteral("questionmark.circle"),
             {{"help-about-symbolic", "help-browser-symbolic", "help-about"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="1.8" stroke-linecap="round"><circle cx="12" cy="12" r="9.2"/><path d="M9.3 9.4a2.8 2.8 0 1 1 3.9 2.6c-.8.4-1.2 1-1.2 1.9v.6"/><circle cx="12" cy="17.3" r=".6" fill="#000"/></svg>)"}},
            {QStringLiteral("safari"),
             {{"web-browser-symbolic", "applications-internet-symbolic", "web-browser"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><circle cx="12" cy="12" r="9.2" fill="none" stroke="#000" stroke-width="1.8"/><path d="M16.6 7.4l-2.9 6.3-6.3 2.9 2.9-6.3z"/><circle cx="12" cy="12" r="1.1" fill="#fff"/></svg>)"}},
            {QStringLiteral("exclamationmark.bubble"),
             {{"dialog-warning-symbolic", "mail-message-new-symbolic", "dialog-warning"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M4.5 3.5h15A2 2 0 0 1 21.5 5.5v10a2 2 0 0 1-2 2H10l-4.5 3.8v-3.8h-1a2 2 0 0 1-2-2v-10a2 2 0 0 1 2-2z"/><path d="M12 6.8v5.2" stroke="#fff" stroke-width="2" stroke-linecap="round"/><circle cx="12" cy="14.6" r="1.1" fill="#fff"/></svg>)"}},
            {QStringLiteral("arrow.clockwise"),
             {{"view-refresh-symbolic", "view-refresh"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M19.5 12a7.5 7.5 0 1 1-2.2-5.3" fill="none" stroke="#000" stroke-width="2" stroke-linecap="round"/><path d="M20 3v5.5h-5.5z"/></svg>)"}},
            {QStringLiteral("folder"),
             {{"folder-open-symbolic", "folder-symbolic", "folder"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M2.5 6.5a1.5 1.5 0 0 1 1.5-1.5h5l2 2.2h9a1.5 1.5 0 0 1 1.5 1.5v9.3a1.5 1.5 0 0 1-1.5 1.5H4a1.5 1.5 0 0 1-1.5-1.5z" fill="none" stroke="#000" stroke-width="1.6" stroke-linejoin="round"/></svg>)"}},
            {QStringLiteral("minus.circle"),
             {{"list-remove-symbolic", "list-remove"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><circle cx="12" cy="12" r="9" fill="none" stroke="#000" stroke-width="1.8"/><path d="M7.5 12h9" stroke="#000" stroke-width="2" stroke-linecap="round"/></svg>)"}},
            {QStringLiteral("exclamationmark.triangle.fill"),
             {{"dialog-warning-symbolic", "dialog-warning"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M12 2.5l10.5 18.5h-21z" stroke="#000" stroke-width="1.5" stroke-linejoin="round"/><path d="M12 9v6" stroke="#fff" stroke-width="2.2" stroke-linecap="round"/><circle cx="12" cy="18" r="1.3" fill="#fff"/></svg>)"}},
            {QStringLiteral("lock.shield"),
             {{"security-high-symbolic", "security-high"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M12 2l8.5 3.2v6.3c0 5-3.6 9-8.5 10.5C7.1 20.5 3.5 16.5 3.5 11.5V5.2z" fill="none" stroke="#000" stroke-width="1.6" stroke-linejoin="round"/><rect x="8.5" y="11" width="7" height="5.5" rx="1"/><path d="M10 11V9.3a2 2 0 0 1 4 0V11" fill="none" stroke="#000" stroke-width="1.4"/></svg>)"}},
            {QStringLiteral("lock.fill"),
             {{"changes-prevent-symbolic", "system-lock-screen-symbolic", "changes-prevent"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><rect x="4.5" y="10.5" width="15" height="11" rx="2"/><path d="M8 10.5V7.5a4 4 0 0 1 8 0v3" fill="none" stroke="#000" stroke-width="2"/></svg>)"}},
            {QStringLiteral("power"),
             {{"system-shutdown-symbolic", "application-exit-symbolic", "system-shutdown"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="2" stroke-linecap="round"><path d="M12 2.8v8.4"/><path d="M7.2 5.6a8 8 0 1 0 9.6 0"/></svg>)"}},
            {QStringLiteral("xmark"),
             {{"window-close-symbolic", "window-close"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="2" stroke-linecap="round"><path d="M6 6l12 12M18 6 6 18"/></svg>)"}},
            {QStringLiteral("xmark.octagon"),
             {{"process-stop-symbolic", "process-stop"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M8.2 2.8h7.6l5.4 5.4v7.6l-5.4 5.4H8.2l-5.4-5.4V8.2z" fill="none" stroke="#000" stroke-width="1.5" stroke-linejoin="round"/><path d="M9 9l6 6M15 9l-6 6" stroke="#000" stroke-width="1.8" stroke-linecap="round"/></svg>)"}},
            {QStringLiteral("fanblades"),
             {{"fan-symbolic", "sensors-fan-symbolic", "fan"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="1.4" stroke-linejoin="round"><path d="M12 10.2c-.6-3.6.4-7.6 3.6-8 2.8-.3 3.8 3.4 1.2 5.6-1.4 1.2-3 1.8-4.8 2.4zM13.8 12c3.6-.6 7.6.4 8 3.6.3 2.8-3.4 3.8-5.6 1.2-1.2-1.4-1.8-3-2.4-4.8zM12 13.8c.6 3.6-.4 7.6-3.6 8-2.8.3-3.8-3.4-1.2-5.6 1.4-1.2 3-1.8 4.8-2.4zM10.2 12c-3.6.6-7.6-.4-8-3.6-.3-2.8 3.4-3.8 5.6-1.2 1.2 1.4 1.8 3 2.4 4.8z"/><circle cx="12" cy="12" r="1.6"/></svg>)"}},
            {QStringLiteral("cursorarrow.rays"),
             {{"input-mouse-symbolic", "input-mouse"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><path d="M9 8.5l10.5 4.6-4.4 1.4 3.2 4.3-1.8 1.3-3.2-4.3-2.8 3.6z"/><path d="M7.5 2.5v3M2.5 7.5h3M3.8 3.8l2.1 2.1M11.2 3.8 9.1 5.9M3.8 11.2l2.1-2.1" stroke="#000" stroke-width="1.5" stroke-linecap="round"/></svg>)"}},
            {QStringLiteral("magnifyingglass"),
             {{"system-search-symbolic", "edit-find-symbolic", "system-search"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24" fill="none" stroke="#000" stroke-width="2" stroke-linecap="round"><circle cx="10.5" cy="10.5" r="6.5"/><path d="M15.5 15.5l5.5 5.5"/></svg>)"}},
            {QStringLiteral("circle"),
             {{},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><circle cx="12" cy="12" r="8.5" fill="none" stroke="#000" stroke-width="1.8"/></svg>)"}},
            {QStringLiteral("checkmark.circle.fill"),
             {{"emblem-ok-symbolic", "object-select-symbolic"},
              R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 24 24"><circle cx="12" cy="12" r="9.5"/><path d="M7.6 12.2l3 3 5.8-6.2" fill="none" stroke="#fff" stroke-width="2" stroke-linecap="round" stroke-linejoin="round"/></svg>)"}},
        };
    return symbols;
}

QIcon themeIcon(const QString& symbol) {
    auto it = table().constFind(symbol);
    if (it == table().constEnd()) return {};
    for (const QString& name : it->themeNames)
        if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
    return {};
}

// Draws an icon engine's output in a single colour: the symbol's shape is kept, its own
// colours replaced, so theme and bundled symbols follow the same colour rules.
QPixmap tint(QPixmap source, const QColor& color) {
    QPainter p(&source);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(QRectF(QPointF(0, 0), source.deviceIndependentSize()), color);
    return source;
}

// The bundled outlines are black with white inner marks (the seal's tick, the bolt): black
// takes the colour and white stays white, so the marks remain visible.
QPixmap paintOutline(const QPixmap& source, const QColor& color) {
    QImage image = source.toImage().convertToFormat(QImage::Format_ARGB32);
    const int r = color.red(), g = color.green(), b = color.blue();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = line[x];
            const int a = qAlpha(px);
            if (a == 0) continue;
            const int white = qGray(px);  // 0 for the outline, 255 for an inner mark
            line[x] = qRgba(r + (255 - r) * white / 255, g + (255 - g) * white / 255,
                            b + (255 - b) * white / 255, a * color.alpha() / 255);
        }
    }
    QPixmap out = QPixmap::fromImage(image);
    out.setDevicePixelRatio(source.devicePixelRatio());
    return out;
}

QPixmap bundled(const QString& symbol, int sizePx, qreal dpr) {
    auto it = table().constFind(symbol);
    if (it == table().constEnd()) return {};
    QSvgRenderer renderer(QByteArray(it->svg));
    const int px = std::max(1, static_cast<int>(std::lround(sizePx * dpr)));
    QPixmap pm(px, px);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        renderer.render(&p);
    }
    pm.setDevicePixelRatio(dpr);
    return pm;
}

// A symbol drawn in the text colour of the application's palette when it is painted, so the
// buttons' symbols read on a light and a dark desktop alike (a theme's own symbols as well:
// their fixed dark grey would vanish on a dark window).
class PaletteSymbolEngine : public QIconEngine {
  public:
    explicit PaletteSymbolEngine(QString symbol) : symbol_(std::move(symbol)) {}
    QIconEngine* clone() const override { return new PaletteSymbolEngine(symbol_); }
    QString key() const override { return QStringLiteral("velmora-symbol"); }
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, dpr));
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const QPalette palette = QGuiApplication::palette();
        const QColor color = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                           QPalette::WindowText);
        const int px = std::min(size.width(), size.height());
        // Drawn once per size, state and colour: buttons repaint often, the palette rarely changes.
        const QString cacheKey = QStringLiteral("%1/%2/%3").arg(px).arg(scale).arg(color.rgba());
        if (auto it = cache_.constFind(cacheKey); it != cache_.constEnd()) return *it;
        QPixmap pm = Symbols::pixmap(symbol_, px, color, scale);
        cache_.insert(cacheKey, pm);
        return pm;
    }
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int px = std::min(size.width(), size.height());
        return {px, px};
    }

  private:
    QString symbol_;
    QHash<QString, QPixmap> cache_;
};

}  // namespace

QStringList themeNames(const QString& symbol) {
    return table().value(symbol).themeNames;
}

bool hasBundled(const QString& symbol) {
    auto it = table().constFind(symbol);
    return it != table().constEnd() && QSvgRenderer(QByteArray(it->svg)).isValid();
}

QIcon icon(const QString& symbol) {
    if (!table().contains(symbol)) return {};
    return QIcon(new PaletteSymbolEngine(symbol));
}

QPixmap pixmap(const QString& symbol, int sizePx, const QColor& color, qreal dpr) {
    if (!(dpr > 0)) dpr = 1.0;
    const QIcon theme = themeIcon(symbol);
    if (!theme.isNull()) {
        QPixmap pm = theme.pixmap(QSize(sizePx, sizePx), dpr);
        if (!pm.isNull()) return tint(pm, color);
    }
    QPixmap pm = bundled(symbol, sizePx, dpr);
    if (pm.isNull()) return {};
    return paintOutline(pm, color);
}

}  // namespace velmora::Symbols
