#include "ui/common/status_icon.h"

#include "support/test_util.h"
#include "ui/common/system_colors.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>

using namespace velmora;

namespace {

// Bounding box, in logical points, of the pixels close to `color`.
QRectF extentOf(const QImage& image, const QColor& color, int tolerance = 60) {
    const qreal dpr = image.devicePixelRatio();
    int minX = image.width(), minY = image.height(), maxX = -1, maxY = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            if (c.alpha() < 128) continue;
            const int d = std::abs(c.red() - color.red()) + std::abs(c.green() - color.green()) +
                          std::abs(c.blue() - color.blue());
            if (d > tolerance) continue;
            minX = std::min(minX, x), maxX = std::max(maxX, x);
            minY = std::min(minY, y), maxY = std::max(maxY, y);
        }
    if (maxX < 0) return {};
    return QRectF(minX / dpr, minY / dpr, (maxX - minX + 1) / dpr, (maxY - minY + 1) / dpr);
}

Snapshot withCpu(double cpu) {
    Snapshot s;
    s.cpuTotal = cpu;
    return s;
}

std::deque<Snapshot> historyOf(std::initializer_list<double> cpu) {
    std::deque<Snapshot> h;
    for (double v : cpu)
        h.push_back(withCpu(v));
    return h;
}

}  // namespace

TEST(StatusIconRender, SizeFollowsTheDevicePixelRatio) {
    const QImage one = StatusIcon::render({0.5, 0.5}, "12%", SystemColor::green(), false, 1.0);
    EXPECT_EQ(one.size(), QSize(46, 18));
    const QImage two = StatusIcon::render({0.5, 0.5}, "12%", SystemColor::green(), false, 2.0);
    EXPECT_EQ(two.size(), QSize(92, 36));
    EXPECT_EQ(two.devicePixelRatio(), 2.0);
    EXPECT_EQ(StatusIcon::renderSquare({}, "-", SystemColor::green(), true, 22, 2.0).size(), QSize(44, 44));
    EXPECT_EQ(StatusIcon::render({}, "-", SystemColor::green(), true, 0.0).size(), QSize(46, 18))
        << "a bogus ratio falls back to 1";
}

TEST(StatusIconRender, PolylineSpansTheLeftAreaBottomUp) {
    const QColor red = SystemColor::red();
    // Empty text isolates the line.
    EXPECT_TRUE(extentOf(StatusIcon::render({}, "", red, false, 2.0), red).isNull()) << "no values, no line";
    EXPECT_TRUE(extentOf(StatusIcon::render({0.7}, "", red, false, 2.0), red).isNull())
        << "one value, no line";

    const QRectF rising = extentOf(StatusIcon::render({0.0, 1.0}, "", red, false, 2.0), red);
    ASSERT_FALSE(rising.isNull());
    EXPECT_NEAR(rising.left(), 0, 1.0);
    EXPECT_NEAR(rising.right(), 22, 1.0);
    // Value 0 sits 2 points above the bottom edge, value 1 at 16 from the bottom (2 from the top).
    EXPECT_NEAR(rising.top(), 2, 1.0);
    EXPECT_NEAR(rising.bottom(), 16, 1.0);

    // Out-of-range values clamp: a negative one lies on the bottom line, above 1 on the top line.
    const QRectF clamped = extentOf(StatusIcon::render({-3.0, 7.0}, "", red, false, 2.0), red);
    EXPECT_NEAR(clamped.top(), 2, 1.0);
    EXPECT_NEAR(clamped.bottom(), 16, 1.0);

    // Only the last 30 values count: ten high values before thirty zeros leave a flat bottom line.
    std::vector<double> spark(10, 1.0);
    spark.insert(spark.end(), 30, 0.0);
    const QRectF flat = extentOf(StatusIcon::render(spark, "", red, false, 2.0), red);
    ASSERT_FALSE(flat.isNull());
    EXPECT_GT(flat.top(), 14.0) << "the early high values must not be drawn";
    EXPECT_NEAR(flat.right(), 22, 1.0) << "thirty values still spread over the whole width";

    // NaN in the data draws as zero instead of breaking the path.
    const QRectF withNan = extentOf(
        StatusIcon::render({std::numeric_limits<double>::quiet_NaN(), 1.0}, "", red, false, 2.0), red);
    EXPECT_NEAR(withNan.bottom(), 16, 1.0);
}

TEST(StatusIconRender, TextIsRightAlignedInColourOrDimmed) {
    const QColor orange = SystemColor::orange();
    const QRectF text = extentOf(StatusIcon::render({}, "75%", orange, false, 2.0), orange);
    ASSERT_FALSE(text.isNull());
    EXPECT_GT(text.left(), 22) << "right of the sparkline";
    EXPECT_NEAR(text.right(), 46, 1.5) << "right-aligned";
    EXPECT_NEAR((text.top() + text.bottom()) / 2, 9, 2.5) << "vertically centred";

    const QImage dimmed = StatusIcon::render({}, "75%", orange, true, 2.0);
    EXPECT_TRUE(extentOf(dimmed, orange).isNull()) << "dim text is not in the metric colour";
    EXPECT_FALSE(extentOf(dimmed, SystemColor::secondaryLabel()).isNull());
}

TEST(StatusIconRender, SquareLayoutKeepsTextAboveTheLine) {
    const QColor red = SystemColor::red();
    const QImage img = StatusIcon::renderSquare({0, 0.5, 1}, "100%", red, false, 22, 2.0);
    const QRectF all = extentOf(img, red);
    ASSERT_FALSE(all.isNull());
    EXPECT_GE(all.left(), 0);
    EXPECT_LE(all.right(), 22.01) << "the text is shrunk to fit the cell";
    const QRectF line = extentOf(StatusIcon::renderSquare({0, 0.5, 1}, "", red, false, 22, 2.0), red);
    const QRectF text = extentOf(StatusIcon::renderSquare({}, "100%", red, false, 22, 2.0), red);
    EXPECT_LT(text.bottom(), line.top() + 1.0) << "text band above the sparkline";
    EXPECT_GT(line.height(), 6) << "the line still shows its shape";
}

TEST(StatusIconTrayIcon, ServesTheImageShrunkToWhatATrayAsksFor) {
    // A 20 × 20 image, the square layout in a tray 20 pixels high.
    const QImage image = StatusIcon::renderSquare({0, 1}, "7%", SystemColor::red(), false, 20, 1.0)
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QIcon icon = StatusIcon::icon(image);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes(), QList<QSize>{QSize(20, 20)});
    struct Case {
        QSize asked, served;
    };
    for (const Case& c : {Case{{20, 20}, {20, 20}}, Case{{22, 20}, {20, 20}}, Case{{64, 64}, {20, 20}},
                          Case{{16, 16}, {16, 16}}, Case{{40, 10}, {10, 10}}}) {
        EXPECT_EQ(icon.actualSize(c.asked), c.served) << c.asked.width() << "x" << c.asked.height();
        EXPECT_EQ(icon.pixmap(c.asked).size(), c.served) << c.asked.width() << "x" << c.asked.height();
    }
    EXPECT_EQ(icon.pixmap(QSize(22, 20)).toImage().convertToFormat(image.format()), image)
        << "a cell that fits gets the image unscaled";
    EXPECT_TRUE(icon.pixmap(QSize(0, 0)).isNull());

    // Painted into a wider cell, the image keeps its shape and sits in the middle.
    QImage cell(22, 20, QImage::Format_ARGB32_Premultiplied);
    cell.fill(Qt::transparent);
    {
        QPainter p(&cell);
        icon.paint(&p, cell.rect());
    }
    EXPECT_EQ(cell.copy(1, 0, 20, 20), image);
    EXPECT_EQ(qAlpha(cell.pixel(0, 10)), 0);
    EXPECT_EQ(qAlpha(cell.pixel(21, 10)), 0);

    EXPECT_TRUE(StatusIcon::icon(QImage()).isNull());
}

TEST(StatusIconTrayIcon, ReplacedIconsLeaveNothingInThePixmapCache) {
    // A tray repaints its cell from the icon, or asks for pixmaps to send on; a new icon comes
    // every tick. None of that may be filed in the process-wide cache, or every tick's image
    // stays alive there until the cache's limit.
    const test::PixmapCacheProbe probe;
    for (int tick = 0; tick < 40; ++tick) {
        const QImage image = StatusIcon::renderSquare({0, tick / 40.0}, QString::number(tick) + u'%',
                                                      SystemColor::green(), false, 22, 1.0);
        const QIcon icon = StatusIcon::icon(image);
        QImage cell(24, 22, QImage::Format_ARGB32_Premultiplied);
        cell.fill(Qt::transparent);
        QPainter p(&cell);
        icon.paint(&p, cell.rect());
        icon.paint(&p, QRect(0, 0, 16, 16));
        for (const QSize size : {QSize(22, 22), QSize(16, 16), QSize(32, 32)})
            EXPECT_FALSE(icon.pixmap(size).isNull());
        EXPECT_FALSE(icon.pixmap(QSize(22, 22), 2.0).isNull());
    }
    EXPECT_TRUE(probe.untouched());
}

TEST(StatusImageRules, PlaceholderIsADimmedGreenDash) {
    const StatusImage p = StatusIcon::placeholder();
    EXPECT_TRUE(p.spark.empty());
    EXPECT_EQ(p.text, "-");
    EXPECT_EQ(p.color, SystemColor::green());
    EXPECT_TRUE(p.dim);
}

TEST(StatusImageRules, CpuThresholdsAndDimming) {
    struct Case {
        double cpu;
        QString text;
        QColor color;
        bool dim;
    };
    for (const Case& c :
         {Case{49.6, "49%", SystemColor::yellow(), true}, Case{50, "50%", SystemColor::yellow(), false},
          Case{48.99, "48%", SystemColor::green(), true}, Case{69.9, "69%", SystemColor::yellow(), false},
          Case{70, "70%", SystemColor::orange(), false}, Case{90, "90%", SystemColor::red(), false},
          Case{100, "100%", SystemColor::red(), false}}) {
        const Snapshot s = withCpu(c.cpu);
        const StatusImage img = statusImageFor(s, {s}, MenuBarMetric::cpu);
        EXPECT_EQ(img.text, c.text) << c.cpu;
        EXPECT_EQ(img.color, c.color) << c.cpu;
        EXPECT_EQ(img.dim, c.dim) << c.cpu;
    }
}

TEST(StatusImageRules, MemoryAndGpuUseTheirOwnFieldsAndDimLimits) {
    Snapshot s;
    s.memPercent = 69.9;
    s.gpuPercent = 55;
    EXPECT_TRUE(statusImageFor(s, {s}, MenuBarMetric::memory).dim) << "memory dims below 70";
    s.memPercent = 70;
    EXPECT_FALSE(statusImageFor(s, {s}, MenuBarMetric::memory).dim);
    const StatusImage gpu = statusImageFor(s, {s}, MenuBarMetric::gpu);
    EXPECT_EQ(gpu.text, "55%");
    EXPECT_FALSE(gpu.dim);
    ASSERT_EQ(gpu.spark.size(), 1u);
    EXPECT_DOUBLE_EQ(gpu.spark[0], 0.55);
}

TEST(StatusImageRules, SparkTakesTheLastThirtyHistoryValues) {
    std::deque<Snapshot> h;
    for (int i = 0; i < 45; ++i)
        h.push_back(withCpu(i));
    const StatusImage img = statusImageFor(h.back(), h, MenuBarMetric::cpu);
    ASSERT_EQ(img.spark.size(), 30u);
    EXPECT_DOUBLE_EQ(img.spark.front(), 0.15);
    EXPECT_DOUBLE_EQ(img.spark.back(), 0.44);
    EXPECT_TRUE(statusImageFor(Snapshot{}, {}, MenuBarMetric::cpu).spark.empty()) << "zero history";
}

TEST(StatusImageRules, TemperatureFallsBackToHottestThenZero) {
    Snapshot s;
    s.hottestC = 81.5;
    StatusImage img = statusImageFor(s, {s}, MenuBarMetric::temperature);
    EXPECT_EQ(img.text, "81°");
    EXPECT_EQ(img.color, SystemColor::orange());
    EXPECT_FALSE(img.dim);
    s.cpuTempC = 55.9;
    img = statusImageFor(s, {s}, MenuBarMetric::temperature);
    EXPECT_EQ(img.text, "55°") << "the CPU reading wins over the hottest sensor";
    EXPECT_EQ(img.color, SystemColor::green());
    EXPECT_TRUE(img.dim);
    s.cpuTempC = 56;
    EXPECT_EQ(statusImageFor(s, {s}, MenuBarMetric::temperature).color, SystemColor::yellow());
    s.cpuTempC = 95;
    EXPECT_EQ(statusImageFor(s, {s}, MenuBarMetric::temperature).color, SystemColor::red());

    const Snapshot none;
    img = statusImageFor(none, {none}, MenuBarMetric::temperature);
    EXPECT_EQ(img.text, "0°");
    EXPECT_EQ(img.color, SystemColor::green());
    EXPECT_TRUE(img.dim);
    ASSERT_EQ(img.spark.size(), 1u);
    EXPECT_EQ(img.spark[0], 0.0);
}

TEST(StatusImageRules, NetworkScalesToTheWholeHistorysPeak) {
    std::deque<Snapshot> h;
    for (int i = 0; i < 40; ++i) {
        Snapshot s;
        s.netInBps = i == 0 ? 8000 : 2000;  // the peak lies outside the last 30
        h.push_back(s);
    }
    const StatusImage img = statusImageFor(h.back(), h, MenuBarMetric::network);
    ASSERT_EQ(img.spark.size(), 30u);
    EXPECT_DOUBLE_EQ(img.spark.back(), 0.25);
    EXPECT_EQ(img.text, "2K");
    EXPECT_EQ(img.color, SystemColor::blue());
    EXPECT_FALSE(img.dim);

    std::deque<Snapshot> quiet(5);
    for (Snapshot& s : quiet)
        s.netInBps = 0;
    const StatusImage flat = statusImageFor(quiet.back(), quiet, MenuBarMetric::network);
    for (double v : flat.spark)
        EXPECT_EQ(v, 0.0) << "all-zero history: a flat line at the bottom";
    EXPECT_TRUE(flat.dim);
    EXPECT_EQ(flat.text, "0B");

    Snapshot bad;
    bad.netInBps = -5;
    std::deque<Snapshot> badHistory{bad};
    EXPECT_EQ(statusImageFor(bad, badHistory, MenuBarMetric::network).text, "0B") << "negative rate";
    EXPECT_TRUE(statusImageFor(bad, badHistory, MenuBarMetric::network).dim);
}

TEST(StatusImageRules, BrokenReadingsNeverBreakTheText) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    Snapshot s = withCpu(nan);
    StatusImage img = statusImageFor(s, historyOf({nan, 20}), MenuBarMetric::cpu);
    EXPECT_EQ(img.text, "0%");
    EXPECT_EQ(img.spark[0], 0.0);
    s.cpuTotal = 1e300;
    img = statusImageFor(s, {s}, MenuBarMetric::cpu);
    EXPECT_TRUE(img.text.endsWith('%'));
    EXPECT_EQ(img.color, SystemColor::red());
    s.cpuTotal = -0.4;
    EXPECT_EQ(statusImageFor(s, {s}, MenuBarMetric::cpu).text, "0%") << "no negative zero";
}
