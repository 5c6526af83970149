// Every key the code looks up must exist, translated, in every supported language.
#include "core/localizer.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <vector>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The first argument of the call whose "(" ends just before `from`: up to the comma or
// closing parenthesis at its own depth, string and character literals skipped whole.
QStringView firstArgument(QStringView text, qsizetype from) {
    int depth = 0;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'"' || c == u'\'') {
            for (++i; i < text.size() && text[i] != c; ++i)
                if (text[i] == u'\\') ++i;
        } else if (c == u'(' || c == u'[' || c == u'{') {
            ++depth;
        } else if (c == u')' || c == u']' || c == u'}') {
            if (depth-- == 0) return text.mid(from, i - from);
        } else if (c == u',' && depth == 0) {
            return text.mid(from, i - from);
        }
    }
    return text.mid(from);
}

const QRegularExpression& literal() {
    static const QRegularExpression re(R"re("((?:[^"\\]|\\.)*)")re");
    return re;
}

bool keyShaped(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^[a-z][A-Za-z0-9]*$"));
    return re.match(text).hasMatch();
}

// Keys looked up in `source`: every key-shaped literal in the first argument of t(...), L(...),
// tr(...) or VL_KEY(...), whatever wraps it (QStringLiteral, QString::fromLatin1, u"…", a
// choice between two keys). VL_KEY marks the keys kept in tables and handed on as data.
QSet<QString> keysLookedUpIn(const QString& source) {
    static const QRegularExpression call(QStringLiteral(R"(\b(?:t|L|tr|VL_KEY)\s*\()"));
    QSet<QString> keys;
    for (auto m = call.globalMatch(source); m.hasNext();) {
        const QString argument = firstArgument(source, m.next().capturedEnd()).toString();
        for (auto l = literal().globalMatch(argument); l.hasNext();) {
            const QString text = l.next().captured(1);
            if (keyShaped(text)) keys.insert(text);
        }
    }
    return keys;
}

struct SourceFile {
    QString path;
    QString text;
};

const std::vector<SourceFile>& sources() {
    static const std::vector<SourceFile> files = [] {
        std::vector<SourceFile> out;
        QDirIterator it(QStringLiteral(VELMORA_SOURCE_DIR "/src"), {"*.cpp", "*.h", "*.mm"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            out.push_back({path, QString::fromUtf8(readAll(path))});
        }
        return out;
    }();
    return files;
}

// Keys the code looks up, each with a file that uses it.
QMap<QString, QString> keysUsedBySources() {
    QMap<QString, QString> keys;
    for (const SourceFile& f : sources())
        for (const QString& key : keysLookedUpIn(f.text))
            keys.insert(key, f.path);
    return keys;
}

Localizer::Tables table() {
    auto tables = Localizer::decode(readAll(QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json")));
    return tables.value_or(Localizer::Tables());
}

}  // namespace

TEST(LocalizationKeys, TableDecodesAndMatchesTheCompiledInCopy) {
    const QByteArray source = readAll(QStringLiteral(VELMORA_SOURCE_DIR "/i18n/strings.json"));
    ASSERT_TRUE(Localizer::decode(source).has_value())
        << "i18n/strings.json must be a two-level table of strings";
    EXPECT_EQ(readAll(QStringLiteral(":/i18n/strings.json")), source) << "rebuild to refresh the resource";
}

// The scanner over each way the code looks a key up, and over calls that look none up.
TEST(LocalizationKeys, ScannerSeesEveryFormOfLookup) {
    const struct {
        const char* source;
        QStringList keys;
    } cases[] = {
        {R"(loc_.t("plainKey"))", {"plainKey"}},
        {R"(loc_.t(QStringLiteral("wrappedKey"), pid_))", {"wrappedKey"}},
        {R"(L(QString::fromLatin1("latinKey")))", {"latinKey"}},
        {R"(tr(u"utfKey"))", {"utfKey"}},
        {"loc_.t(\n    QStringLiteral(\"splitKey\"))", {"splitKey"}},
        {R"(loc_.t(ok ? QStringLiteral("yesKey") : QStringLiteral("noKey")))", {"yesKey", "noKey"}},
        {R"(constexpr const char* kKeys[] = {VL_KEY("tableKey"), VL_KEY("otherKey")};)", {"tableKey", "otherKey"}},
        {R"(loc_.t("outerKey", loc_.t("innerKey", 2)))", {"outerKey", "innerKey"}},
        {R"(loc_.t(QStringLiteral("withArgs"), QStringLiteral("not a key"), QStringLiteral("alsoNotKey")))",
         {"withArgs"}},
        {R"(loc_.t(f("a, b", ')'), QStringLiteral("argNotKey")))", {}},
        {R"(loc_.t(info.statusKey); std::string_view t(target, n); at("notACall"))", {}},
        {R"(setObjectName(QStringLiteral("pdName")))", {}},
    };
    for (const auto& c : cases) {
        const QSet<QString> expected(c.keys.begin(), c.keys.end());
        EXPECT_EQ(keysLookedUpIn(QString::fromUtf8(c.source)), expected) << c.source;
    }
}

// A key written where the scanner cannot see it could go missing unnoticed: every literal
// that names a key must sit in a lookup or be marked with VL_KEY.
TEST(LocalizationKeys, EveryKeyInTheCodeIsWhereTheScannerSeesIt) {
    const auto& en = table().value("en");
    const auto used = keysUsedBySources();
    for (const SourceFile& f : sources())
        for (auto l = literal().globalMatch(f.text); l.hasNext();) {
            const QString text = l.next().captured(1);
            EXPECT_FALSE(en.contains(text) && !used.contains(text))
                << f.path.toStdString() << ": \"" << text.toStdString()
                << "\" names a key outside t(...), L(...), tr(...) and VL_KEY(...)";
        }
}

TEST(LocalizationKeys, EveryUsedKeyExistsInAllLanguages) {
    const auto tables = table();
    const auto used = keysUsedBySources();
    // Hundreds of look-ups; far fewer would mean the scanner stopped recognising a form.
    ASSERT_GT(used.size(), 300) << "the scanner found only " << used.size() << " keys";
    for (const QString& lang : Localizer::supported()) {
        ASSERT_TRUE(tables.contains(lang)) << "no table for " << lang.toStdString();
        const auto& t = tables[lang];
        for (auto it = used.begin(); it != used.end(); ++it) {
            EXPECT_FALSE(t.value(it.key()).trimmed().isEmpty())
                << lang.toStdString() << " lacks " << it.key().toStdString() << " (used in "
                << it.value().toStdString() << ")";
        }
    }
}

TEST(LocalizationKeys, LanguagesShareOneKeySetAndPlaceholders) {
    const auto tables = table();
    const auto& en = tables.value("en");
    static const QRegularExpression placeholder(R"(\{\d+\})");
    auto placeholders = [](const QString& text) {
        QSet<QString> found;
        for (auto m = placeholder.globalMatch(text); m.hasNext();)
            found.insert(m.next().captured());
        return found;
    };
    for (const QString& lang : Localizer::supported()) {
        const auto& t = tables.value(lang);
        for (auto it = en.begin(); it != en.end(); ++it) {
            ASSERT_TRUE(t.contains(it.key())) << lang.toStdString() << " lacks " << it.key().toStdString();
            EXPECT_EQ(placeholders(t.value(it.key())), placeholders(it.value()))
                << lang.toStdString() << " " << it.key().toStdString()
                << " has other placeholders than English";
        }
        EXPECT_EQ(t.size(), en.size()) << lang.toStdString() << " has keys English lacks";
    }
}

TEST(LocalizationKeys, OtherLanguagesAreTranslatedNotCopied) {
    const auto tables = table();
    const auto& en = tables.value("en");
    for (const QString& lang : Localizer::supported()) {
        if (lang == "en") continue;
        int same = 0;
        for (auto it = en.begin(); it != en.end(); ++it)
            if (tables.value(lang).value(it.key()) == it.value()) ++same;
        // Short technical words ("GPU", "Normal") may legitimately match; whole tables may not.
        EXPECT_LT(same * 3, en.size())
            << lang.toStdString() << " repeats English in " << same << " of " << en.size() << " texts";
    }
}
