#include "ui/common/process_icons.h"

#include "support/test_util.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace velmora;
using Kind = platform::ProcessIconSource::Kind;

namespace {

// Processes by pid: a start time and an icon source; counts the lookups.
class FakeReader : public platform::ProcessIconReader {
  public:
    struct Proc {
        uint64_t start;
        platform::ProcessIconSource source;
    };
    std::map<int32_t, Proc>* procs;
    int* lookups;
    int* startReads;
    FakeReader(std::map<int32_t, Proc>* p, int* l, int* s) : procs(p), lookups(l), startReads(s) {}
    std::optional<uint64_t> startTime(int32_t pid) override {
        ++*startReads;
        const auto it = procs->find(pid);
        return it == procs->end() ? std::nullopt : std::optional(it->second.start);
    }
    platform::ProcessIconSource iconSource(int32_t pid) override {
        ++*lookups;
        const auto it = procs->find(pid);
        return it == procs->end() ? platform::ProcessIconSource{} : it->second.source;
    }
};

// An icon theme of two icons in a temporary folder, made the current theme.
class Icons : public ::testing::Test {
  protected:
    QTemporaryDir dir;
    QStringList savedPaths = QIcon::themeSearchPaths();
    QString savedTheme = QIcon::themeName();
    std::map<int32_t, FakeReader::Proc> procs;
    int lookups = 0;
    int startReads = 0;
    std::chrono::steady_clock::time_point now{};
    ProcessIconCache cache{std::make_unique<FakeReader>(&procs, &lookups, &startReads), [this] { return now; }};

    void SetUp() override {
        test::writeFile(dir, "icons/vtest/index.theme",
                        "[Icon Theme]\nName=vtest\nDirectories=apps\n[apps]\nSize=16\nType=Fixed\n");
        ASSERT_TRUE(QDir().mkpath(dir.filePath("icons/vtest/apps")));
        QImage img(16, 16, QImage::Format_ARGB32);
        img.fill(Qt::red);
        for (const char* name : {"terminal", "application-x-executable"})
            ASSERT_TRUE(img.save(dir.filePath(QStringLiteral("icons/vtest/apps/%1.png").arg(name))));
        ASSERT_TRUE(img.save(dir.filePath("own.png")));
        QIcon::setThemeSearchPaths({dir.filePath("icons")});
        QIcon::setThemeName("vtest");
    }
    void TearDown() override {
        QIcon::setThemeSearchPaths(savedPaths);
        QIcon::setThemeName(savedTheme);
    }
};

}  // namespace

TEST_F(Icons, SourcesResolveThroughTheThemeOrTheFileElseTheGenericIcon) {
    EXPECT_EQ(ProcessIconCache::resolve({Kind::themeName, "terminal"}).name(), "terminal");
    EXPECT_EQ(ProcessIconCache::resolve({Kind::themeName, "no-such-icon"}).name(), "application-x-executable");
    EXPECT_EQ(ProcessIconCache::resolve({}).name(), "application-x-executable");
    EXPECT_FALSE(ProcessIconCache::resolve({Kind::file, dir.filePath("own.png").toStdString()}).pixmap(16).isNull());
    EXPECT_EQ(ProcessIconCache::resolve({Kind::file, "/no/such/file.png"}).name(), "application-x-executable");
    EXPECT_EQ(ProcessIconCache::resolve({Kind::file, dir.filePath("icons/vtest/index.theme").toStdString()}).name(),
              "application-x-executable");  // not an image
}

TEST_F(Icons, CachedByPidAndStartTime) {
    procs[10] = {100, {Kind::themeName, "terminal"}};
    EXPECT_EQ(cache.icon(10).name(), "terminal");
    EXPECT_EQ(cache.icon(10).name(), "terminal");
    EXPECT_EQ(lookups, 1);
    EXPECT_EQ(startReads, 1) << "repaints within the recheck time read nothing";
    // The pid is reused by a process without an application: seen at the next recheck.
    procs[10] = {200, {}};
    now += ProcessIconCache::kRecheck;
    EXPECT_EQ(cache.icon(10).name(), "application-x-executable");
    EXPECT_EQ(lookups, 2);
    EXPECT_EQ(cache.size(), 1u);
    // Still the same process a while later: its start time is read, its icon kept.
    now += ProcessIconCache::kRecheck;
    EXPECT_EQ(cache.icon(10).name(), "application-x-executable");
    EXPECT_EQ(lookups, 2);
    EXPECT_EQ(startReads, 3);
    // Gone at the next recheck: the generic icon, and the entry goes.
    procs.erase(10);
    now += ProcessIconCache::kRecheck;
    EXPECT_EQ(cache.icon(10).name(), "application-x-executable");
    EXPECT_EQ(cache.size(), 0u);
}

TEST_F(Icons, AVanishedProcessGetsTheGenericIconAndNoEntry) {
    EXPECT_EQ(cache.icon(4242).name(), "application-x-executable");
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(lookups, 0);
}

TEST_F(Icons, EmptiedWhenItPassesTheLimit) {
    for (int32_t pid = 1; pid <= static_cast<int32_t>(ProcessIconCache::kMaxEntries) + 1; ++pid)
        procs[pid] = {1, {}};
    for (int32_t pid = 1; pid <= static_cast<int32_t>(ProcessIconCache::kMaxEntries); ++pid)
        cache.icon(pid);
    EXPECT_EQ(cache.size(), ProcessIconCache::kMaxEntries);
    cache.icon(ProcessIconCache::kMaxEntries + 1);
    EXPECT_EQ(cache.size(), 0u);
    const int before = lookups;
    cache.icon(1);  // looked up afresh
    EXPECT_EQ(lookups, before + 1);
}
