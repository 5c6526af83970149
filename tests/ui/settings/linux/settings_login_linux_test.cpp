// The launch-at-login toggle over the real autostart entry: a change the folder refuses puts
// the toggle back and names the folder.
#include "core/localizer.h"
#include "core/settings.h"
#include "platform/linux/login_item_linux.h"
#include "support/test_util.h"
#include "ui/settings/settings_view.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

TEST(SettingsLoginLinux, AnAutostartFolderInTheWayPutsTheToggleBackAndNamesIt) {
    QTemporaryDir dir;
    AppSettings settings(dir.filePath("settings.json"));
    Localizer loc({QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")}, QStringLiteral("en"),
                  [] { return QStringList(); });
    test::writeFile(dir, "autostart", "a file where the folder should be");
    platform::linux_autostart::AutostartEntry entry(dir.filePath("autostart"), "com.tandrel.velmora",
                                                    "/usr/bin/velmora");
    SettingsView::Services services;
    services.loginItem = &entry;
    SettingsView view(settings, loc, std::move(services));
    view.show();

    view.loginToggle()->click();
    EXPECT_FALSE(view.loginToggle()->isChecked()) << "nothing was registered";
    EXPECT_TRUE(view.loginNote()->isVisible());
    EXPECT_TRUE(view.loginNote()->text().contains(dir.filePath("autostart")))
        << view.loginNote()->text().toStdString();

    ASSERT_TRUE(QFile::remove(dir.filePath("autostart")));
    view.loginToggle()->click();
    EXPECT_TRUE(view.loginToggle()->isChecked());
    EXPECT_FALSE(view.loginNote()->isVisible());
    EXPECT_TRUE(QFile::exists(dir.filePath("autostart/com.tandrel.velmora.desktop")));
}
