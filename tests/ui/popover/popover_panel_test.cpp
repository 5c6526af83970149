#include "ui/popover/popover_panel.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "engine/metrics_engine.h"
#include "ui/popover/popover_view.h"
#include "support/null_sources.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace velmora;

using velmora::test::NoSource;

namespace {

// A measured snapshot with `heavy` processes at or above the threshold.
Snapshot withHeavy(int heavy) {
    Snapshot s;
    s.processesMeasured = true;
    for (int i = 0; i < heavy; ++i)
        s.processes.push_back({.pid = 100 + i, .name = QStringLiteral("busy%1").arg(i), .cpu = 90.0 - i});
    s.processes.push_back({.pid = 99, .name = QStringLiteral("idle"), .cpu = 1});
    return s;
}

class PopoverPlace : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"), [] {
                      return QStringList();
                  }};
    MetricsEngine engine{std::make_unique<NoSource>()};
    PopoverPanel panel{new PopoverView(engine, settings, loc, {})};
    QPoint pointer{-1000, -1000};

    void SetUp() override {
        panel.setPointerSource([this] { return pointer; });
        panel.view()->setButtonAvailable(PopoverView::Button::expand, true);
    }
    QRect area() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
    // Where the "Open dashboard" button is on the screen.
    QPoint expandButton() const {
        QToolButton* b = panel.view()->button(PopoverView::Button::expand);
        return b->mapToGlobal(QPoint(0, 0));
    }
};

}  // namespace

TEST(PopoverHold, KeepsTheEdgeByTheTrayAndNeverMovesTheBarUnderThePointer) {
    struct Case {
        const char* what;
        bool bottomFixed;
        bool pointerInside;
        int heavy;          // processes that want a row
        int currentHeight;  // the popover's height now
        QRect area;
        int height, rows, top;
    };
    // Top at 400 when the bottom is fixed (bottom 647); at 30 otherwise.
    const QRect screen(0, 0, 800, 700);
    const Case cases[] = {
        {"above the tray, rows come: grows at the top", true, false, 5, 200, screen, 320, 5, 328},
        {"above the tray, rows go: shrinks at the top", true, true, 0, 320, screen, 200, 0, 448},
        {"above the tray, pointer inside: still grows, the bar stays", true, true, 3, 200, screen, 272, 3, 376},
        {"above the tray, room for exactly two rows", true, false, 5, 200, QRect(0, 400, 800, 300), 248, 2, 400},
        {"above the tray, a pixel short of two rows", true, false, 5, 200, QRect(0, 401, 800, 299), 224, 1, 424},
        {"above the tray, a pixel more than two rows", true, false, 5, 200, QRect(0, 399, 800, 301), 248, 2, 400},
        {"below the tray, pointer away: grows at the bottom", false, false, 3, 200, screen, 272, 3, 30},
        {"below the tray, pointer away: rows go, the room stays", false, false, 0, 272, screen, 272, 0, 30},
        {"below the tray, pointer inside: as many rows as fit", false, true, 3, 248, screen, 248, 2, 30},
        {"below the tray, pointer inside, a pixel short", false, true, 3, 247, screen, 247, 1, 30},
        {"below the tray, pointer inside, room for all", false, true, 3, 272, screen, 272, 3, 30},
        {"below the tray, pointer inside, fewer rows: the room stays", false, true, 1, 272, screen, 272, 1, 30},
        {"below the tray, the screen's bottom limits it", false, false, 5, 200, QRect(0, 0, 800, 278), 248, 2, 30},
    };
    for (const Case& c : cases) {
        const QRect current = c.bottomFixed ? QRect(0, 648 - c.currentHeight, 322, c.currentHeight)
                                            : QRect(0, 30, 322, c.currentHeight);
        auto natural = [&](int rows) { return 200 + std::min(rows, c.heavy) * 24; };
        const PopoverHold hold = holdPopover(current, c.bottomFixed, c.pointerInside, c.area, kHeavyProcessLimit, natural);
        EXPECT_EQ(hold.height, c.height) << c.what;
        EXPECT_EQ(std::min(hold.rows, c.heavy), c.rows) << c.what;
        EXPECT_EQ(hold.top, c.top) << c.what;
        if (c.bottomFixed) {
            EXPECT_EQ(hold.top + hold.height, current.bottom() + 1) << c.what << ": the bottom edge stays";
        }
    }
}

TEST_F(PopoverPlace, AboveTheTrayTheBarStaysWhileRowsComeAndGo) {
    engine.publish(withHeavy(0));
    const QRect a = area();
    panel.presentAt(QRect(a.center().x(), a.bottom() - 23, 24, 24));  // a panel at the bottom
    ASSERT_TRUE(panel.isVisible());
    ASSERT_TRUE(panel.bottomFixed());
    const QPoint button = expandButton();
    const int bottom = panel.geometry().bottom();
    int tallest = panel.height(), shortest = panel.height();
    for (int heavy : {3, 1, 5, 0, 2, 5, 4, 0}) {
        pointer = button + QPoint(5, 5);  // on its way to the button
        engine.publish(withHeavy(heavy));
        EXPECT_EQ(expandButton(), button) << heavy << " heavy";
        EXPECT_EQ(panel.geometry().bottom(), bottom) << heavy << " heavy";
        EXPECT_EQ(panel.view()->heavyRowsShown(), heavy) << "room above for every row";
        tallest = std::max(tallest, panel.height());
        shortest = std::min(shortest, panel.height());
    }
    EXPECT_GT(tallest, shortest) << "it grew and shrank at the top";
}

TEST_F(PopoverPlace, BelowTheTrayTheBarMovesOnlyWhileThePointerIsAway) {
    engine.publish(withHeavy(0));
    const QRect a = area();
    panel.presentAt(QRect(a.center().x(), a.top(), 24, 24));  // a panel at the top
    ASSERT_TRUE(panel.isVisible());
    ASSERT_FALSE(panel.bottomFixed());
    const int top = panel.geometry().top();

    // The pointer on the button: rows wait rather than push the bar away from it.
    QPoint button = expandButton();
    pointer = button + QPoint(5, 5);
    for (int heavy : {3, 5, 1, 0, 4}) {
        engine.publish(withHeavy(heavy));
        EXPECT_EQ(expandButton(), button) << heavy << " heavy";
        EXPECT_LE(panel.view()->heavyRowsShown(), heavy);
        EXPECT_EQ(panel.geometry().top(), top);
    }

    // Away from the popover: it grows downwards for the waiting rows, by whole rows.
    pointer = QPoint(-1000, -1000);
    engine.publish(withHeavy(4));
    EXPECT_EQ(panel.view()->heavyRowsShown(), 4);
    EXPECT_GT(expandButton().y(), button.y());
    EXPECT_EQ(panel.geometry().top(), top) << "the edge by the tray stays";

    // Fewer rows later: the room stays, so the bar does not jump back.
    button = expandButton();
    for (int heavy : {1, 0, 2}) {
        engine.publish(withHeavy(heavy));
        EXPECT_EQ(expandButton(), button) << heavy << " heavy";
        EXPECT_EQ(panel.view()->heavyRowsShown(), heavy);
    }

    // Opened again, it takes the size of what it shows then.
    panel.hide();
    engine.publish(withHeavy(0));
    panel.presentAt(QRect(a.center().x(), a.top(), 24, 24));
    EXPECT_LT(expandButton().y(), button.y());
}
