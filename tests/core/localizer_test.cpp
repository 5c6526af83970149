#include "core/localizer.h"

#include "support/test_util.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

QStringList tableFile(QTemporaryDir& dir, const QByteArray& json, const QString& name = "strings.json") {
    test::writeFile(dir, name, json);
    return {dir.filePath(name)};
}

std::function<QStringList()> prefers(QStringList langs) {
    return [langs] { return langs; };
}

const QByteArray kTable = R"({
  "en": {"greet": "Hello", "count": "{0} of {1}", "enOnly": "English only", "empty": "",
         "alert": "{0} uses {1}%", "odd": "{0}-{0} {{1}} {x} {01} {} {2} {+1} {4294967296} {", "many": "{10} {1} {0}"},
  "ko": {"greet": "안녕하세요", "koOnly": "한국어만", "count": "{1}개 중 {0}"},
  "fr": {"greet": "Bonjour", "empty": "non vide"}
})";

}  // namespace

TEST(LocalizerSystemBest, PicksFromPreferredLanguages) {
    EXPECT_EQ(Localizer::systemBest({"en-HK"}), "zh-Hant");
    EXPECT_EQ(Localizer::systemBest({"fr-CA", "ko-KR"}), "fr");
    EXPECT_EQ(Localizer::systemBest({"xx-YY", "in-ID"}), "id");
    EXPECT_EQ(Localizer::systemBest({}), "en");
    EXPECT_EQ(Localizer::systemBest({"zh-Hans-CN"}), "zh");
    EXPECT_EQ(Localizer::systemBest({"zh-TW"}), "zh-Hant");
    EXPECT_EQ(Localizer::systemBest({"pt-BR"}), "pt");
    EXPECT_EQ(Localizer::systemBest({"ko"}), "ko");
    EXPECT_EQ(Localizer::systemBest({"C", "nl-NL"}), "en") << "unknown tags are skipped";
}

TEST(LocalizerApply, AutoAndUnsupportedCodes) {
    QTemporaryDir dir;
    Localizer loc(tableFile(dir, kTable), "auto", prefers({"xx", "fr-FR"}));
    EXPECT_EQ(loc.language(), "fr");
    EXPECT_EQ(loc.t("greet"), "Bonjour");
    EXPECT_EQ(loc.systemLanguageName(), "Français");

    loc.apply("DE");  // codes are case-sensitive
    EXPECT_EQ(loc.language(), "en");
    loc.apply("");
    EXPECT_EQ(loc.language(), "fr");

    int changes = 0;
    QObject::connect(&loc, &Localizer::languageChanged, [&] { ++changes; });
    loc.apply("ko");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(loc.t("greet"), "안녕하세요");
}

TEST(LocalizerLookup, FallsBackThroughEnglishKoreanAndKey) {
    QTemporaryDir dir;
    Localizer loc(tableFile(dir, kTable), "de", prefers({}));
    EXPECT_EQ(loc.language(), "de") << "supported even without its own table";
    EXPECT_EQ(loc.t("greet"), "Hello");
    EXPECT_EQ(loc.t("koOnly"), "한국어만");
    EXPECT_EQ(loc.t("missing"), "missing");
    EXPECT_EQ(loc.t("empty"), "") << "an empty text is a hit";

    loc.apply("fr");
    EXPECT_EQ(loc.t("enOnly"), "English only");
    EXPECT_EQ(loc.t("empty"), "non vide");
}

TEST(LocalizerLookup, FillsPlaceholdersFromTheTemplateOnly) {
    QTemporaryDir dir;
    Localizer loc(tableFile(dir, kTable), "en", prefers({}));
    struct Case {
        QString got, want, why;
    };
    const Case cases[] = {
        {loc.t("count", 3, 12), "3 of 12", "in order"},
        {loc.t("count", QString("{1}"), 7), "{1} of 7", "an argument's own placeholder stays literal"},
        {loc.t("alert", QString("miner{1}"), 80), "miner{1} uses 80%", "a name with braces"},
        {loc.t("alert", QString("{0}{0}"), QString("{1}")), "{0}{0} uses {1}%",
         "arguments naming each other"},
        {loc.t("count", 1), "1 of {1}", "missing arguments leave their placeholder"},
        {loc.t("count", 1, 2, 3), "1 of 2", "extra arguments are ignored"},
        {loc.t("nowhere {0}", 5), "nowhere {0}", "a missing key is returned unchanged"},
        {loc.t("count", 2.5, "x"), "2.5 of x", "numbers and C strings"},
        {loc.t("odd", "a", "b"), "a-a {b} {x} {01} {} {2} {+1} {4294967296} {", "only plain indexes with an argument"},
        {loc.t("many", 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, QString("ten")), "ten 1 0", "two-digit indexes"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want) << c.why.toStdString();
    loc.apply("ko");
    EXPECT_EQ(loc.t("count", 3, 12), "12개 중 3");
}

// Filling in one pass changes nothing for arguments without braces: every text of the real
// table, in every language, reads as replacing "{0}", "{1}", … one after another would.
TEST(LocalizerLookup, BraceFreeArgumentsFillEveryRealTextAsBefore) {
    const QStringList args = {"A", "12", "b c", "%1", "$0\\1"};
    QFile file(Localizer::defaultCandidates().front());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const auto tables = Localizer::decode(file.readAll());
    ASSERT_TRUE(tables.has_value());
    for (const QString& lang : Localizer::supported()) {
        Localizer loc(Localizer::defaultCandidates(), lang, prefers({}));
        const Localizer::Table table = tables->value(lang);
        ASSERT_FALSE(table.isEmpty()) << lang.toStdString();
        for (auto it = table.begin(); it != table.end(); ++it) {
            QString sequential = it.value();
            for (int i = 0; i < args.size(); ++i)
                sequential.replace(u'{' + QString::number(i) + u'}', args[i]);
            EXPECT_EQ(loc.t(it.key(), args[0], args[1], args[2], args[3], args[4]), sequential)
                << lang.toStdString() << " " << it.key().toStdString();
        }
    }
}

TEST(LocalizerLoading, RejectsNonStringsAndMovesToTheNextCandidate) {
    QTemporaryDir dir;
    test::writeFile(dir, "bad.json", R"({"en": {"greet": "Hi", "n": 5}})");
    test::writeFile(dir, "good.json", R"({"en": {"greet": "Hi there"}})");
    Localizer fallsThrough(
        {dir.filePath("missing.json"), dir.filePath("bad.json"), dir.filePath("good.json")}, "en",
        prefers({}));
    EXPECT_EQ(fallsThrough.t("greet"), "Hi there");

    Localizer onlyBad({dir.filePath("bad.json")}, "en", prefers({}));
    EXPECT_EQ(onlyBad.t("greet"), "greet");

    EXPECT_FALSE(Localizer::decode(R"({"en": ["a"]})").has_value());
    EXPECT_FALSE(Localizer::decode(R"(["en"])").has_value());
    EXPECT_FALSE(Localizer::decode(R"({"en": {"a": "b"})").has_value()) << "truncated";
    EXPECT_TRUE(Localizer::decode(R"({"en": {}})").has_value());
}

TEST(LocalizerTable, SupportedLanguagesAndNames) {
    ASSERT_EQ(Localizer::supported().size(), 13);
    EXPECT_EQ(Localizer::supported().front(), "ko");
    EXPECT_EQ(Localizer::supported().back(), "id");
    for (const QString& code : Localizer::supported())
        EXPECT_FALSE(Localizer::displayName(code).isEmpty()) << code;
    EXPECT_EQ(Localizer::displayName("zh-Hant"), "中文繁體");
}

TEST(LocalizerLoading, TheCompiledTableShipsAndADeveloperOverrideComesFirst) {
    const QByteArray saved = qgetenv("VELMORA_STRINGS");
    qunsetenv("VELMORA_STRINGS");
    const QStringList shipped = Localizer::defaultCandidates();
    EXPECT_EQ(shipped, QStringList{":/i18n/strings.json"}) << "no path of the build machine";
    Localizer compiled(shipped, "en", [] { return QStringList(); });
    EXPECT_EQ(compiled.t("winDashboard"), "Dashboard") << "the table is compiled in";

    QTemporaryDir dir;
    QFile edited(dir.filePath("strings.json"));
    ASSERT_TRUE(edited.open(QIODevice::WriteOnly));
    edited.write(R"({"en": {"winDashboard": "Edited"}})");
    edited.close();
    qputenv("VELMORA_STRINGS", edited.fileName().toLocal8Bit());
    Localizer developer(Localizer::defaultCandidates(), "en", [] { return QStringList(); });
    EXPECT_EQ(developer.t("winDashboard"), "Edited") << "the override wins over the compiled table";
    if (saved.isNull())
        qunsetenv("VELMORA_STRINGS");
    else
        qputenv("VELMORA_STRINGS", saved);
}
