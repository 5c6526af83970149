// The keys every window shares: Ctrl+, for the settings, Escape to dismiss the small ones.
#include "app/window_manager.h"

#include "core/localizer.h"
#include "engine/process_demand.h"
#include "ui/common/accessibility.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

// A window's content of some size (an empty one would make a window of none).
QWidget* content() {
    auto* w = new QWidget;
    w->setMinimumSize(200, 120);
    return w;
}

struct Windows {
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); }};
    ProcessDemand demand{[](bool) {}};
    WindowManager manager{loc, demand, [] {}};
    Windows() {
        for (WindowKind k : {WindowKind::dashboard, WindowKind::settings, WindowKind::storage})
            manager.setFactory(k, content);
    }
    QWidget* open(WindowKind kind) {
        if (kind == WindowKind::detail || kind == WindowKind::analysis)
            manager.open(kind, QStringLiteral("winDashboard"), content);
        else
            manager.open(kind);
        QWidget* w = manager.window(kind);
        w->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(w));
        return w;
    }
};

}  // namespace

TEST(WindowKeys, EscapeClosesTheSmallWindowsOnly) {
    const struct {
        WindowKind kind;
        bool closes;
    } cases[] = {{WindowKind::settings, true},
                 {WindowKind::storage, true},
                 {WindowKind::detail, true},
                 {WindowKind::dashboard, false},
                 {WindowKind::analysis, false}};
    for (const auto& c : cases) {
        Windows all;
        QWidget* w = all.open(c.kind);
        QTest::keyClick(w, Qt::Key_Escape);
        EXPECT_EQ(w->isVisible(), !c.closes) << static_cast<int>(c.kind);
    }
}

TEST(WindowKeys, CtrlCommaOpensTheSettingsFromEveryWindow) {
    for (WindowKind from : {WindowKind::dashboard, WindowKind::storage, WindowKind::analysis, WindowKind::detail}) {
        Windows all;
        QWidget* w = all.open(from);
        ASSERT_EQ(all.manager.window(WindowKind::settings), nullptr);
        QTest::keySequence(w, Accessibility::settingsKeys());
        ASSERT_NE(all.manager.window(WindowKind::settings), nullptr) << static_cast<int>(from);
        EXPECT_TRUE(all.manager.window(WindowKind::settings)->isVisible());
    }
}
