#include "platform/diagnostics.h"
#include "platform/linux/diagnostics_linux.h"
#include "platform/linux/login_item_linux.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora::platform;
using namespace velmora::platform::linux_autostart;

namespace {

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(AutostartEntry, WrittenReadBackAndRemovedInTheConfigFolder) {
    QTemporaryDir config;
    const QString dir = config.filePath("autostart");  // made on the first write
    AutostartEntry entry(dir, "com.tandrel.velmora", "/opt/velmora/bin/velmora");
    ASSERT_TRUE(entry.available());
    EXPECT_FALSE(entry.enabled());
    EXPECT_EQ(entry.path(), dir + "/com.tandrel.velmora.desktop");

    ASSERT_TRUE(entry.setEnabled(true));
    EXPECT_TRUE(entry.enabled());
    const QByteArray text = read(entry.path());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=/opt/velmora/bin/velmora\n"));
    EXPECT_TRUE(text.contains("\nType=Application\n"));
    EXPECT_TRUE(text.contains("\nIcon=com.tandrel.velmora\n"));
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{"com.tandrel.velmora.desktop"})
        << "no temporary file is left beside it";

    // A second program instance (a restart) reads the same state from the file alone.
    EXPECT_TRUE(AutostartEntry(dir, "com.tandrel.velmora", "/elsewhere").enabled());
    ASSERT_TRUE(entry.setEnabled(true)) << "enabling twice rewrites";

    ASSERT_TRUE(entry.setEnabled(false));
    EXPECT_FALSE(QFile::exists(entry.path()));
    EXPECT_FALSE(entry.enabled());
    EXPECT_TRUE(entry.setEnabled(false)) << "already off";
}

TEST(AutostartEntry, HiddenEntriesCountAsOff) {
    const struct {
        const char* text;
        bool enabled;
    } cases[] = {
        {"[Desktop Entry]\nType=Application\nExec=velmora\n", true},
        {"[Desktop Entry]\nHidden=true\nExec=velmora\n", false},
        {"[Desktop Entry]\nHidden = true \n", false},
        {"[Desktop Entry]\nHidden=false\n", true},
        {"[Desktop Action x]\nHidden=true\n[Desktop Entry]\nExec=velmora\n", true},
        {"[Desktop Entry]\nX-Hidden=true\n", true},
        {"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(entryEnabled(c.text), c.enabled) << c.text;

    QTemporaryDir config;
    velmora::test::writeFile(config, "autostart/app.desktop", "[Desktop Entry]\nHidden=true\n");
    AutostartEntry entry(config.filePath("autostart"), "app", "/usr/bin/app");
    EXPECT_FALSE(entry.enabled());
    ASSERT_TRUE(entry.setEnabled(true));
    EXPECT_TRUE(entry.enabled()) << "enabling replaces a hidden entry";
}

TEST(AutostartEntry, WithoutADesktopEntryIdNothingIsWritten) {
    QTemporaryDir config;
    AutostartEntry entry(config.filePath("autostart"), "", "/usr/bin/velmora");
    EXPECT_FALSE(entry.available());
    EXPECT_FALSE(entry.setEnabled(true));
    EXPECT_FALSE(entry.enabled());
    EXPECT_FALSE(QDir(config.filePath("autostart")).exists());
    // The running program: a test binary has no installed entry under that id.
    EXPECT_FALSE(makeLoginItem("com.tandrel.velmora")->available());
}

// Each way a change can fail names what could not be changed and why; the next change that
// succeeds clears it.
TEST(AutostartEntry, AFailedChangeNamesTheFileAndTheReason) {
    const struct {
        const char* name;
        const char* blocker;  // a file or folder put in the way, relative to the config folder
        bool folderBlocker;
        bool turnOn;
        const char* named;  // the path the failure names, relative to the config folder
    } cases[] = {
        {"a file where the folder should be", "autostart", false, true, "autostart"},
        {"a folder where the entry should be", "autostart/app.desktop/inside", true, true,
         "autostart/app.desktop"},
        {"a folder in the entry's place cannot be removed", "autostart/app.desktop/inside", true, false,
         "autostart/app.desktop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir config;
        velmora::test::writeFile(config, c.blocker, "in the way");
        AutostartEntry entry(config.filePath("autostart"), "app", "/usr/bin/app");
        EXPECT_FALSE(entry.setEnabled(c.turnOn));
        EXPECT_EQ(entry.lastFailure().path, config.filePath(c.named));
        EXPECT_FALSE(entry.lastFailure().reason.isEmpty());
        EXPECT_TRUE(QFileInfo::exists(config.filePath(c.blocker))) << "what was in the way stays";

        QFile::remove(config.filePath(c.blocker));
        QDir(config.filePath(c.named)).removeRecursively();
        EXPECT_TRUE(entry.setEnabled(c.turnOn));
        EXPECT_TRUE(entry.lastFailure().path.isEmpty());
        EXPECT_EQ(entry.enabled(), c.turnOn);
    }
    AutostartEntry none(QString(), "app", "/usr/bin/app");
    EXPECT_FALSE(none.setEnabled(true));
    EXPECT_TRUE(none.lastFailure().path.isEmpty()) << "nothing to register: a refusal without a file";
}

TEST(AutostartEntry, ExecQuotesPathsAsTheFormatWants) {
    const struct {
        const char* program;
        const char* exec;
    } cases[] = {
        {"/usr/bin/velmora", "/usr/bin/velmora"},
        {"/opt/my apps/velmora", R"("/opt/my apps/velmora")"},
        {"/opt/100%/velmora", "/opt/100%%/velmora"},
        {"/opt/a$b/velmora", R"("/opt/a\\$b/velmora")"},
        {R"(/opt/back\slash/v)", R"("/opt/back\\\\slash/v")"},
        {"/opt/q\"uote/v", R"("/opt/q\\"uote/v")"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(execWord(QString::fromUtf8(c.program)), QString::fromUtf8(c.exec)) << c.program;

    // A desktop-entry reader gets the path back (string escapes undone; the Exec quoting is
    // the launcher's to undo).
    QTemporaryDir config;
    AutostartEntry entry(config.path(), "app", "/opt/my apps/velmora");
    ASSERT_TRUE(entry.setEnabled(true));
    EXPECT_TRUE(read(entry.path()).contains("\nExec=\"/opt/my apps/velmora\"\n"));
}

TEST(LinuxDiagnostics, PrettyNameKernelAndLogFolder) {
    const struct {
        const char* osRelease;
        const char* name;
    } cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Fedora Linux 40'\n", "Fedora Linux 40"},
        {"PRETTY_NAME=Arch\n", "Arch"},
        {"PRETTY_NAME=\"Say \\\"hi\\\"\"\n", "Say \"hi\""},
        {"NAME=Nothing\n", ""},
        {"", ""},
        {"PRETTY_NAME=\"\n", "\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linux_diag::prettyName(c.osRelease), QString::fromUtf8(c.name)) << c.osRelease;

    EXPECT_EQ(linux_diag::osText("Debian GNU/Linux 12 (bookworm)", "6.1.0-18-amd64"),
              "Debian GNU/Linux 12 (bookworm), kernel 6.1.0-18-amd64");
    EXPECT_EQ(linux_diag::osText("", "6.1.0"), "Linux, kernel 6.1.0");

    EXPECT_EQ(linux_diag::logFolder("/state", "/home/u"), "/state/velmora/logs");
    EXPECT_EQ(linux_diag::logFolder("", "/home/u"), "/home/u/.local/state/velmora/logs");
    EXPECT_EQ(linux_diag::logFolder("relative/state", "/home/u"), "/home/u/.local/state/velmora/logs");
    EXPECT_EQ(linux_diag::stateFolder("/state/", "/home/u"), "/state/velmora");
    EXPECT_EQ(linux_diag::stateFolder("", "/home/u"), "/home/u/.local/state/velmora");

    const SystemFacts facts = systemFacts();
    EXPECT_GT(facts.memoryBytes, 0u);
    EXPECT_GE(facts.processors, 1);
    EXPECT_TRUE(facts.osText.contains(", kernel ")) << facts.osText.toStdString();
}
