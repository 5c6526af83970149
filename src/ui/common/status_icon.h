#pragma once

#include "core/settings.h"
#include "core/snapshot.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

#include <deque>
#include <vector>

namespace velmora {

// What the status image shows for one snapshot: the sparkline values (0–1 each), the text,
// the colour and whether the text is dimmed.
struct StatusImage {
    std::vector<double> spark;
    QString text;
    QColor color;
    bool dim = true;
};

// The chosen metric of `s`, with the sparkline taken from `history` (the snapshot itself is
// expected to be its last entry). Only the values the image can show are produced.
StatusImage statusImageFor(const Snapshot& s, const std::deque<Snapshot>& history, MenuBarMetric metric);

// Draws the live status image. Stateless.
class StatusIcon {
  public:
    static constexpr int widthPt = 46;
    static constexpr int heightPt = 18;
    static constexpr int sparkPoints = 30;

    // The wide image: 46 × 18 points at `devicePixelRatio`, sparkline on the left, the text
    // right-aligned and vertically centred. Not a template image: colours stay as drawn.
    static QImage render(const std::vector<double>& spark, const QString& text, const QColor& color, bool dim,
                         qreal devicePixelRatio = 1.0);
    static QImage render(const StatusImage& image, qreal devicePixelRatio = 1.0) {
        return render(image.spark, image.text, image.color, image.dim, devicePixelRatio);
    }

    // The same content for trays that give every icon a square cell: the text across the top
    // half, shrunk until it fits, and the sparkline below it.
    static QImage renderSquare(const std::vector<double>& spark, const QString& text, const QColor& color,
                               bool dim, int sizePt, qreal devicePixelRatio = 1.0);
    static QImage renderSquare(const StatusImage& image, int sizePt, qreal devicePixelRatio = 1.0) {
        return renderSquare(image.spark, image.text, image.color, image.dim, sizePt, devicePixelRatio);
    }

    // The image before the first snapshot: a dimmed green "-" without a sparkline.
    static StatusImage placeholder();

    // The icon a tray shows for `image`. It draws and scales from that one image and files
    // nothing in the process-wide pixmap cache, so an icon replaced every tick leaves nothing
    // behind once the next one takes its place.
    static QIcon icon(const QImage& image);
};

}  // namespace velmora
