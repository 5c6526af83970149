// The storage window in the running program: opened from the popover's drive button and by
// VL_OPEN_STORAGE, on this machine's own startup entries and service manager.
#include "app/app_delegate.h"

#include "core/localizer.h"
#include "core/settings.h"
#include "support/test_util.h"
#include "ui/popover/popover_panel.h"
#include "ui/popover/popover_view.h"
#include "ui/storage/storage_view.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

class QuietSource : public SnapshotSource {
  public:
    Snapshot tick(const std::function<bool()>&) override { return {}; }
};

class SilentNotifier : public Notifier {
  public:
    void requestAuthorization(std::function<void(bool)> answer) override { answer(false); }
    void post(const UserNotification&) override {}
};

class StorageWindow : public ::testing::Test {
  protected:
    AppDelegate& launch(LaunchRequests launch = {}) {
        settings.setRefreshInterval(5);
        AppDelegate::Options o;
        o.source = std::make_unique<QuietSource>();
        o.settings = &settings;
        o.localizer = &loc;
        o.notifier = std::make_unique<SilentNotifier>();
        o.desktopEntry = QStringLiteral("com.tandrel.velmora");
        o.launch = launch;
        o.trayMode = AppDelegate::TrayMode::trayOnly;
        o.quit = [] {};
        delegate = std::make_unique<AppDelegate>(std::move(o));
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }
    StorageView* view() const {
        QWidget* w = delegate->windows().window(WindowKind::storage);
        return w ? w->findChild<StorageView*>() : nullptr;
    }

    QTemporaryDir dir;
    AppSettings settings{dir.filePath("settings.json")};
    Localizer loc{{QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); }};
    std::unique_ptr<AppDelegate> delegate;
};

}  // namespace

TEST_F(StorageWindow, DriveButtonOpensItWithTheUsersAutostartEntries) {
    // The test run's own configuration home stands in for the user's.
    const QString autostart =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
    QDir().mkpath(autostart);
    QFile entry(autostart + QStringLiteral("/velmora-test-clock.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Test clock\n");
    entry.close();

    AppDelegate& d = launch();
    QToolButton* drive = d.tray().popover()->view()->button(PopoverView::Button::storage);
    ASSERT_FALSE(drive->isHidden());
    drive->click();
    ASSERT_NE(view(), nullptr);
    EXPECT_TRUE(d.windows().visible(WindowKind::storage));
    EXPECT_EQ(d.windows().window(WindowKind::storage)->windowTitle(), "Storage");
    EXPECT_EQ(view()->section(), StorageView::Section::startup);
    ASSERT_TRUE(test::waitUntil([&] { return !view()->startup().loading() && !view()->startupShown().empty(); }));
    const auto& rows = view()->startupShown();
    EXPECT_TRUE(std::any_of(rows.cbegin(), rows.cend(), [](const StartupRowView& r) { return r.name == "Test clock"; }));
    QFile::remove(entry.fileName());
}

TEST_F(StorageWindow, EnvironmentOpensItAfterLaunch) {
    LaunchRequests requests;
    requests.openStorage = true;
    launch(requests);
    EXPECT_EQ(view(), nullptr) << "queued, not opened during launch";
    QCoreApplication::processEvents();
    ASSERT_NE(view(), nullptr);
    EXPECT_TRUE(delegate->windows().visible(WindowKind::storage));
}

// Removal through the window on the user's real autostart folder: the user's own entry keeps
// every byte but the new Hidden line, and its row stays, greyed, saying why it won't start.
TEST_F(StorageWindow, RemovingTheUsersOwnEntryEditsItInPlaceAndTheRowSaysItIsOff) {
    const QString autostart =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart");
    QDir().mkpath(autostart);
    const QString path = autostart + QStringLiteral("/velmora-test-note.desktop");
    QFile entry(path);
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly | QIODevice::Truncate));
    entry.write("# kept\r\n[Desktop Entry]\r\nType=Application\r\nName=Test note\r\nExec=true\r\n\r\n[Extra]\r\nHidden=false\r\n");
    entry.close();

    AppDelegate& d = launch();
    d.tray().popover()->view()->button(PopoverView::Button::storage)->click();
    ASSERT_NE(view(), nullptr);
    auto rowOf = [&]() -> int {
        const auto& rows = view()->startupShown();
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].path == path) return static_cast<int>(i);
        return -1;
    };
    ASSERT_TRUE(test::waitUntil([&] { return !view()->startup().loading() && rowOf() >= 0; }));
    EXPECT_TRUE(view()->startupShown()[rowOf()].starts);
    auto* remove = view()->startupRow(rowOf())->findChild<QToolButton*>(QStringLiteral("remove"));
    ASSERT_NE(remove, nullptr);
    remove->click();
    ASSERT_TRUE(test::waitUntil([&] { return !view()->startup().loading(); }));

    QFile after(path);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), "# kept\r\n[Desktop Entry]\r\nHidden=true\r\nType=Application\r\nName=Test note\r\nExec=true\r\n"
                               "\r\n[Extra]\r\nHidden=false\r\n");
    ASSERT_GE(rowOf(), 0) << "the row stays";
    const StartupRowView& row = view()->startupShown()[rowOf()];
    EXPECT_FALSE(row.starts);
    EXPECT_EQ(row.reason, "Won't start: switched off (Hidden)");
    EXPECT_FALSE(row.removable);
    QFile::remove(path);
}
