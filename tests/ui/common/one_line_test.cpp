#include "ui/common/elided_label.h"
#include "ui/common/one_line.h"

#include <QApplication>
#include <QToolTip>

#include <gtest/gtest.h>

using namespace velmora;

TEST(OneLine, EveryControlSeparatorAndBidiMarkBecomesTheReplacementCharacter) {
    std::vector<char16_t> breaking;
    for (char16_t c = 0; c < 0x20; ++c)
        breaking.push_back(c);
    for (char16_t c = 0x7F; c <= 0x9F; ++c)
        breaking.push_back(c);
    for (char16_t c : {u'\u2028', u'\u2029', u'\u202A', u'\u202B', u'\u202C', u'\u202D', u'\u202E', u'\u2066',
                       u'\u2067', u'\u2068', u'\u2069'})
        breaking.push_back(c);
    for (char16_t c : breaking) {
        const QString text = QStringLiteral("a") + QChar(c) + QStringLiteral("b");
        EXPECT_EQ(oneLine(text), QStringLiteral("a\uFFFDb")) << std::hex << int(c);
    }
    // Their neighbours are ordinary text and stay.
    for (char16_t c : {u' ', u'~', u'\u00A0', u'\u00E9', u'\u2027', u'\u202F', u'\u2065', u'\u206A', u'\u05E9'}) {
        const QString text = QStringLiteral("a") + QChar(c) + QStringLiteral("b");
        EXPECT_EQ(oneLine(text), text) << std::hex << int(c);
    }
    EXPECT_EQ(oneLine(QStringLiteral("😀<b>x</b>")), QStringLiteral("😀<b>x</b>")) << "surrogates and markup stay";
}

TEST(OneLine, ElideMiddleKeepsBothEndsAndNeverSplitsAPair) {
    const QString ten = QStringLiteral("abcdefghij");
    EXPECT_EQ(elideMiddle(ten, 11), ten);
    EXPECT_EQ(elideMiddle(ten, 10), ten) << "a text that fits is not touched";
    EXPECT_EQ(elideMiddle(ten, 9), QStringLiteral("abcd…ghij"));
    EXPECT_EQ(elideMiddle(ten, 9).size(), 9);
    EXPECT_EQ(elideMiddle(ten, 1), QStringLiteral("…"));
    EXPECT_EQ(elideMiddle(ten, 0), QString());
    const QString faces = QStringLiteral("😀😀😀😀😀😀");  // twelve UTF-16 units
    const QString cut = elideMiddle(faces, 6);
    EXPECT_LE(cut.size(), 6);
    EXPECT_FALSE(cut.front().isLowSurrogate());
    for (qsizetype i = 0; i + 1 < cut.size(); ++i)
        if (cut.at(i).isHighSurrogate()) EXPECT_TRUE(cut.at(i + 1).isLowSurrogate()) << i;
    EXPECT_FALSE(cut.back().isHighSurrogate());
}

TEST(OneLine, ATooltipShowsMarkupLiterally) {
    const QString name = QStringLiteral("<h1>Big</h1> & co");
    const QString tip = plainToolTip(name);
    EXPECT_TRUE(Qt::mightBeRichText(tip));
    EXPECT_FALSE(tip.contains(QStringLiteral("<h1>")));
    EXPECT_TRUE(tip.contains(QStringLiteral("&lt;h1&gt;Big&lt;/h1&gt; &amp; co")));
    EXPECT_EQ(plainToolTip({}), QString());
}

TEST(ElidedLabel, ElidesByItsModeAndShowsPlainText) {
    const QString text = QStringLiteral("<b>start</b>") + QString(200, u'x') + QStringLiteral("end\nline");
    for (const Qt::TextElideMode mode : {Qt::ElideRight, Qt::ElideMiddle, Qt::ElideLeft}) {
        ElidedLabel label(mode);
        label.resize(120, 20);
        label.setFullText(text);
        EXPECT_EQ(label.textFormat(), Qt::PlainText);
        EXPECT_EQ(label.fullText(), oneLine(text));
        const QString shown = label.shownText();
        EXPECT_LT(shown.size(), text.size());
        EXPECT_EQ(shown.startsWith(QStringLiteral("<b>")), mode != Qt::ElideLeft) << mode;
        EXPECT_EQ(shown.endsWith(QStringLiteral("line")), mode != Qt::ElideRight) << mode;
        EXPECT_FALSE(label.toolTip().contains(QStringLiteral("<b>")));
    }
}
