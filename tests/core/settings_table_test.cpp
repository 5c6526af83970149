#include "core/settings.h"

#include "support/test_util.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

QByteArray readStore(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

TEST(ProcessTableSettings, ColumnsWidthsAndTreeSurviveARestart) {
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.json");
    {
        AppSettings s(path);
        EXPECT_TRUE(s.processColumns().isEmpty()) << "nothing chosen yet";
        EXPECT_TRUE(s.processColumnWidths().isEmpty());
        EXPECT_FALSE(s.processTree());
        QSignalSpy columns(&s, &AppSettings::processColumnsChanged);
        QSignalSpy tree(&s, &AppSettings::processTreeChanged);
        s.setProcessColumns({"pid", "name", "user", "command"});
        s.setProcessColumns({"pid", "name", "user", "command"});
        s.setProcessColumnWidths({{"command", 333}, {"user", 90}});
        s.setProcessTree(true);
        s.setProcessTree(true);
        EXPECT_EQ(columns.count(), 1) << "an unchanged value says nothing";
        EXPECT_EQ(tree.count(), 1);
    }
    AppSettings s(path);
    EXPECT_EQ(s.processColumns(), (QStringList{"pid", "name", "user", "command"}));
    EXPECT_EQ(s.processColumnWidths(), (QMap<QString, int>{{"command", 333}, {"user", 90}}));
    EXPECT_TRUE(s.processTree());
}

TEST(ProcessTableSettings, MalformedEntriesAreDroppedAndTheFileKept) {
    struct Case {
        const char* name;
        QByteArray json;
        QStringList columns;
        QMap<QString, int> widths;
        bool tree;
    };
    const Case cases[] = {
        {"wrong types", R"({"procTableColumns": "user", "procTableColumnWidths": [1], "procTableTree": 1})", {}, {}, false},
        {"entries of the wrong type or twice",
         R"({"procTableColumns": ["user", 3, null, "user", "nice"], "procTableColumnWidths": {"a": "9", "b": 40}})",
         {"user", "nice"},
         {{"b", 40}},
         false},
        {"widths at and beyond their bounds",
         R"({"procTableColumnWidths": {"lo": 15, "min": 16, "max": 4000, "hi": 4001, "nan": -1}})",
         {},
         {{"min", 16}, {"max", 4000}},
         false},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        test::writeFile(dir, "settings.json", c.json);
        {
            AppSettings s(dir.filePath("settings.json"));
            EXPECT_EQ(s.processColumns(), c.columns) << c.name;
            EXPECT_EQ(s.processColumnWidths(), c.widths) << c.name;
            EXPECT_EQ(s.processTree(), c.tree) << c.name;
        }
        EXPECT_EQ(readStore(dir.filePath("settings.json")), c.json) << c.name << ": loading rewrites nothing";
    }
}
