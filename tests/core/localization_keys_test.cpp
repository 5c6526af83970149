// Every key the code looks up must exist, translated, in every supported language.
#include "core/localizer.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Keys passed literally to t(...), L(...) or marked with VL_KEY(...), by file.
QMap<QString, QString> keysUsedBySources() {
    static const QRegularExpression call(
        R"re((?:\bL|\bt|\btr|VL_KEY)\(\s*(?:u8?)?"([A-Za-z][A-Za-z0-9]*)")re");
    QMap<QString, QString> keys;
    QDirIterator it(QStringLiteral(VELMORA_SOURCE_DIR "/src"), {"*.cpp", "*.h", "*.mm"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString text = QString::fromUtf8(readAll(path));
        for (auto m = call.globalMatch(text); m.hasNext();)
            keys.insert(m.next().captured(1), path);
    }
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

TEST(LocalizationKeys, EveryUsedKeyExistsInAllLanguages) {
    const auto tables = table();
    const auto used = keysUsedBySources();
    ASSERT_FALSE(used.isEmpty()) << "the scanner found no keys at all";
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
