#include "ui/dashboard/process_cell_delegate.h"

#include <QImage>
#include <QPainter>
#include <QStandardItemModel>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// Columns of the image that hold ink darker than the background.
std::pair<int, int> inkSpan(const QImage& image, const QRect& rect) {
    int first = -1, last = -1;
    for (int x = rect.left(); x <= rect.right(); ++x)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            if (qGray(image.pixel(x, y)) < 128) {
                if (first < 0) first = x;
                last = x;
                break;
            }
    return {first, last};
}

}  // namespace

TEST(ProcessCellDelegate, LinesAreLaidOutOnceElidedToTheirWidthAndBounded) {
    ProcessCellDelegate delegate;
    const QFont font;
    const QStaticText& first = delegate.line(QStringLiteral("bash"), 200, font);
    EXPECT_EQ(&delegate.line(QStringLiteral("bash"), 200, font), &first) << "the same line, not laid out again";
    EXPECT_EQ(first.text(), "bash");
    EXPECT_EQ(delegate.cachedLines(), 1);

    const QString longName(300, u'w');
    const QString narrow = delegate.line(longName, 60, font).text();
    EXPECT_TRUE(narrow.endsWith(QChar(0x2026))) << narrow.toStdString();
    EXPECT_LT(narrow.size(), longName.size());
    EXPECT_EQ(delegate.line(longName, 5000, font).text(), longName) << "wide enough: whole";
    EXPECT_EQ(delegate.line(longName, -3, font).text().size(), 0) << "no room, no text";

    QFont bigger = font;
    bigger.setPointSize(font.pointSize() + 6);
    delegate.line(QStringLiteral("bash"), 200, bigger);
    EXPECT_EQ(delegate.cachedLines(), 1) << "another font starts the cache again";

    for (int i = 0; i < ProcessCellDelegate::kMaxCached + 5; ++i)
        delegate.line(QString::number(i), 100, bigger);
    EXPECT_LE(delegate.cachedLines(), ProcessCellDelegate::kMaxCached);
    EXPECT_GT(delegate.cachedLines(), 0);
}

TEST(ProcessCellDelegate, CellsDrawTheirSelectionAndAlignTheirText) {
    QStandardItemModel model(1, 2);
    model.setData(model.index(0, 0), QStringLiteral("WWWW"));
    model.setData(model.index(0, 0), int(Qt::AlignLeft | Qt::AlignVCenter), Qt::TextAlignmentRole);
    model.setData(model.index(0, 1), QStringLiteral("WWWW"));
    model.setData(model.index(0, 1), int(Qt::AlignRight | Qt::AlignVCenter), Qt::TextAlignmentRole);
    ProcessCellDelegate delegate;

    QImage image(400, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QStyleOptionViewItem option;
    option.state = QStyle::State_Enabled | QStyle::State_Active;
    option.palette.setColor(QPalette::Text, Qt::black);
    option.palette.setColor(QPalette::Highlight, QColor(20, 60, 200));
    option.palette.setColor(QPalette::HighlightedText, Qt::white);
    {
        QPainter painter(&image);
        option.rect = QRect(0, 0, 400, 24);
        delegate.paint(&painter, option, model.index(0, 0));
        option.rect = QRect(0, 24, 400, 24);
        delegate.paint(&painter, option, model.index(0, 1));
        option.rect = QRect(0, 24, 10, 24);
        option.state |= QStyle::State_Selected;
        delegate.paint(&painter, option, model.index(0, 1));
    }
    const auto [leftFrom, leftTo] = inkSpan(image, QRect(0, 0, 400, 24));
    ASSERT_GE(leftFrom, 0) << "text drawn";
    EXPECT_LT(leftFrom, 20) << "left-aligned text starts at the left";
    const auto [rightFrom, rightTo] = inkSpan(image, QRect(20, 24, 380, 24));
    ASSERT_GE(rightFrom, 0);
    EXPECT_GT(rightTo, 380) << "right-aligned text ends at the right";
    EXPECT_GT(rightFrom, 300);
    EXPECT_EQ(image.pixelColor(2, 30), QColor(20, 60, 200)) << "a selected cell is filled with the highlight";
}

TEST(ProcessCellDelegate, TheKeyboardsCurrentCellKeepsAFocusFrame) {
    QStandardItemModel model(1, 1);
    model.setData(model.index(0, 0), QStringLiteral("x"));
    ProcessCellDelegate delegate;
    const auto frameInk = [&](QStyle::State extra) {
        QImage image(200, 24, QImage::Format_RGB32);
        image.fill(Qt::white);
        QStyleOptionViewItem option;
        option.state = QStyle::State_Enabled | QStyle::State_Active | extra;
        option.rect = image.rect();
        {
            QPainter painter(&image);
            delegate.paint(&painter, option, model.index(0, 0));
        }
        int ink = 0;  // along the right half of the borders, away from the text
        for (int x = 100; x < 200; ++x)
            ink += (image.pixel(x, 0) != qRgb(255, 255, 255)) + (image.pixel(x, 23) != qRgb(255, 255, 255));
        return ink;
    };
    // The style frames focus only once the keyboard has moved it, as everywhere in Qt.
    EXPECT_EQ(frameInk(QStyle::State_KeyboardFocusChange), 0) << "not the current cell";
    EXPECT_GT(frameInk(QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange), 0);
}
