#include "ui/common/status_icon.h"

#include "core/format.h"
#include "ui/common/system_colors.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QStaticText>

#include <algorithm>
#include <cmath>
#include <map>

namespace velmora {

namespace {

constexpr double kLineWidth = 1.2;
constexpr double kSparkWidth = 22;
constexpr double kSparkBottom = 2;
constexpr double kSparkRange = 14;

// NaN and infinities from a failed reading count as zero rather than reaching a cast.
double finite(double v) {
    return std::isfinite(v) ? v : 0.0;
}

// The value truncated toward zero, as text; never converted to an integer type, so huge
// readings cannot overflow.
QString integerPart(double v) {
    const double t = std::trunc(finite(v));
    return Format::fixed(t == 0 ? 0.0 : t, 0);
}

QColor levelColor(double v, double red, double orange, double yellow) {
    if (v >= red) return SystemColor::red();
    if (v >= orange) return SystemColor::orange();
    if (v >= yellow) return SystemColor::yellow();
    return SystemColor::green();
}

double temperatureOf(const Snapshot& s) {
    if (s.cpuTempC) return finite(*s.cpuTempC);
    if (s.hottestC) return finite(*s.hottestC);
    return 0;
}

template <typename Value>
std::vector<double> lastValues(const std::deque<Snapshot>& history, double divisor, Value value) {
    std::vector<double> out;
    const size_t n = std::min<size_t>(history.size(), StatusIcon::sparkPoints);
    out.reserve(n);
    for (size_t i = history.size() - n; i < history.size(); ++i)
        out.push_back(finite(value(history[i])) / divisor);
    return out;
}

// One font object per pixel size: a QFont keeps the font engine it resolved, so reusing it
// spares the font database look-up that a fresh QFont pays on every redraw. GUI thread only.
QFont statusFont(double pixelSize) {
    static std::map<int, QFont> fonts;
    const int px = std::clamp(static_cast<int>(std::lround(pixelSize)), 1, 512);
    auto it = fonts.find(px);
    if (it == fonts.end()) {
        QFont font = QGuiApplication::font();
        font.setPixelSize(px);
        font.setWeight(QFont::DemiBold);
        it = fonts.emplace(px, font).first;
    }
    return it->second;
}

// The largest pixel size, up to `start`, at which `text` fits `width`. Remembered per text:
// the image is redrawn every tick with one of a handful of texts. GUI thread only.
double fittedPixelSize(const QString& text, double start, double width, const QImage& device) {
    struct Key {
        QString text;
        double start, width;
        bool operator==(const Key&) const = default;
    };
    static std::vector<std::pair<Key, double>> cache;
    const Key key{text, start, width};
    for (const auto& [k, px] : cache)
        if (k == key) return px;
    // Fonts come in whole pixel sizes, so try those.
    double pixel = std::floor(start);
    while (pixel > 5 && QFontMetricsF(statusFont(pixel), &device).horizontalAdvance(text) > width)
        pixel -= 1;
    if (cache.size() >= 32) cache.erase(cache.begin());
    cache.emplace_back(key, pixel);
    return pixel;
}

// The status text laid out once: shaping a text is the costliest part of a redraw, and the
// image shows one of a handful of texts tick after tick. GUI thread only.
struct LaidOutText {
    QString text;
    int pixelSize = 0;
    double width = 0;  // the advance, as QFontMetricsF measures it
    QStaticText layout;
};

const LaidOutText& laidOut(const QString& text, double pixelSize, const QImage& device) {
    static std::vector<LaidOutText> cache;
    const QFont font = statusFont(pixelSize);
    const int px = font.pixelSize();
    for (const LaidOutText& t : cache)
        if (t.pixelSize == px && t.text == text) return t;
    if (cache.size() >= 32) cache.erase(cache.begin());
    LaidOutText& t = cache.emplace_back();
    t.text = text;
    t.pixelSize = px;
    t.width = QFontMetricsF(font, &device).horizontalAdvance(text);
    t.layout.setText(text);
    t.layout.setTextFormat(Qt::PlainText);
    t.layout.setPerformanceHint(QStaticText::AggressiveCaching);
    t.layout.prepare(QTransform(), font);
    return t;
}

QImage blankImage(double widthPt, double heightPt, qreal dpr) {
    if (!(dpr > 0) || !std::isfinite(dpr)) dpr = 1.0;
    QImage image(static_cast<int>(std::ceil(widthPt * dpr)), static_cast<int>(std::ceil(heightPt * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    return image;
}

// Draws the last 30 values in the rectangle: x spreads them over its width, y = 0 at the
// bottom edge and 1 at the top (values outside 0–1 clamp). Fewer than two values draw nothing.
void drawSpark(QPainter& p, const std::vector<double>& spark, const QColor& color, const QRectF& area,
               double lineWidth) {
    const size_t n = std::min<size_t>(spark.size(), StatusIcon::sparkPoints);
    if (n < 2) return;
    const size_t first = spark.size() - n;
    QPainterPath path;
    for (size_t i = 0; i < n; ++i) {
        const double v = std::clamp(finite(spark[first + i]), 0.0, 1.0);
        const QPointF point(area.left() + static_cast<double>(i) * area.width() / static_cast<double>(n - 1),
                            area.bottom() - area.height() * v);
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    QPen pen(color, lineWidth);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

// QIcon's own engine for pixmaps keeps every size it hands out in QPixmapCache, keyed by
// the pixmap's serial number; with a new image each tick that is one dead entry per tick
// until the cache's limit. This engine serves its single image directly.
class StatusIconEngine final : public QIconEngine {
  public:
    explicit StatusIconEngine(QPixmap pixmap) : pixmap_(std::move(pixmap)) {}

    // The image's own size in points, shrunk (never grown) to fit `size`.
    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const QSizeF own = pixmap_.deviceIndependentSize();
        QSize out(static_cast<int>(std::ceil(own.width())), static_cast<int>(std::ceil(own.height())));
        if (out.width() > size.width() || out.height() > size.height()) out.scale(size, Qt::KeepAspectRatio);
        return out;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
        if (pixmap_.isNull() || rect.isEmpty()) return;
        const bool smooth = painter->testRenderHint(QPainter::SmoothPixmapTransform);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawPixmap(rect, pixmap_);
        painter->setRenderHint(QPainter::SmoothPixmapTransform, smooth);
    }

    // In device pixels: the image itself when it fits, else a scaled copy that is not kept.
    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        if (pixmap_.isNull() || size.isEmpty()) return {};
        if (pixmap_.width() <= size.width() && pixmap_.height() <= size.height()) return pixmap_;
        return pixmap_.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        if (pixmap_.isNull()) return {};
        return {pixmap_.size()};
    }

    bool isNull() override { return pixmap_.isNull(); }
    QString key() const override { return QStringLiteral("VelmoraStatusIcon"); }
    QIconEngine* clone() const override { return new StatusIconEngine(pixmap_); }

  private:
    QPixmap pixmap_;
};

}  // namespace

StatusImage statusImageFor(const Snapshot& s, const std::deque<Snapshot>& history, MenuBarMetric metric) {
    StatusImage out;
    switch (metric) {
        case MenuBarMetric::cpu:
        case MenuBarMetric::memory:
        case MenuBarMetric::gpu: {
            const SnapshotField field = metric == MenuBarMetric::cpu      ? &Snapshot::cpuTotal
                                        : metric == MenuBarMetric::memory ? &Snapshot::memPercent
                                                                          : &Snapshot::gpuPercent;
            const double v = finite(s.*field);
            out.spark = lastValues(history, 100.0, [field](const Snapshot& h) { return h.*field; });
            out.text = integerPart(v) + u'%';
            out.color = levelColor(v, 90, 70, 49);
            out.dim = v < (metric == MenuBarMetric::memory ? 70 : 50);
            break;
        }
        case MenuBarMetric::network: {
            const double v = finite(s.netInBps);
            // Scaled to the busiest moment of the whole history, not only the visible part.
            double m = 0;
            for (const Snapshot& h : history)
                m = std::max(m, finite(h.netInBps));
            if (m <= 1) m = 1;
            out.spark = lastValues(history, m, [](const Snapshot& h) { return h.netInBps; });
            out.text = Format::shortRate(v);
            out.color = SystemColor::blue();
            out.dim = v < 1024;
            break;
        }
        case MenuBarMetric::temperature: {
            const double v = temperatureOf(s);
            out.spark = lastValues(history, 100.0, temperatureOf);
            out.text = integerPart(v) + QStringLiteral("°");
            out.color = levelColor(v, 95, 80, 56);
            out.dim = v < 70;
            break;
        }
    }
    return out;
}

StatusImage StatusIcon::placeholder() {
    return {{}, QStringLiteral("-"), SystemColor::green(), true};
}

QIcon StatusIcon::icon(const QImage& image) {
    if (image.isNull()) return {};
    return QIcon(new StatusIconEngine(QPixmap::fromImage(image)));
}

QImage StatusIcon::render(const std::vector<double>& spark, const QString& text, const QColor& color,
                          bool dim, qreal devicePixelRatio) {
    QImage image = blankImage(widthPt, heightPt, devicePixelRatio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Bottom-up coordinates: y = 2 + 14 × value counts from the image's lower edge.
    drawSpark(p, spark, color, QRectF(0, heightPt - kSparkBottom - kSparkRange, kSparkWidth, kSparkRange),
              kLineWidth);

    const QFont font = statusFont(9);
    const QFontMetricsF fm(font, &image);
    const LaidOutText& t = laidOut(text, 9, image);
    const double top = (heightPt - fm.height()) / 2.0;
    p.setFont(font);
    p.setPen(dim ? SystemColor::secondaryLabel() : color);
    p.drawStaticText(QPointF(widthPt - t.width, top), t.layout);
    return image;
}

QImage StatusIcon::renderSquare(const std::vector<double>& spark, const QString& text, const QColor& color,
                                bool dim, int sizePt, qreal devicePixelRatio) {
    const double size = std::max(8, sizePt);
    QImage image = blankImage(size, size, devicePixelRatio);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // The text takes the upper 55 %: as large as the cell allows, shrunk until it fits.
    const double textBand = size * 0.55;
    const double pixelSize = fittedPixelSize(text, textBand, size, image);
    const QFont font = statusFont(pixelSize);
    const QFontMetricsF fm(font, &image);
    p.setFont(font);
    p.setPen(dim ? SystemColor::secondaryLabel() : color);
    const LaidOutText& t = laidOut(text, pixelSize, image);
    p.drawStaticText(QPointF((size - t.width) / 2.0, (textBand - fm.height()) / 2.0), t.layout);

    const double margin = size / 22.0;
    drawSpark(p, spark, color,
              QRectF(margin, textBand + margin, size - 2 * margin, size - textBand - 2 * margin),
              kLineWidth * size / 22.0);
    return image;
}

}  // namespace velmora
