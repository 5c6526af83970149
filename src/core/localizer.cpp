#include "core/localizer.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace velmora {

const QStringList& Localizer::supported() {
    static const QStringList codes = {"ko", "en", "ja", "zh", "zh-Hant", "es", "fr",
                                      "de", "pt", "ru", "vi", "th",      "id"};
    return codes;
}

QString Localizer::displayName(const QString& code) {
    static const QHash<QString, QString> names = {
        {"ko", "한국어"},          {"en", "English"}, {"ja", "日本語"},     {"zh", "中文简体"},
        {"zh-Hant", "中文繁體"},   {"es", "Español"}, {"fr", "Français"},   {"de", "Deutsch"},
        {"pt", "Português"},       {"ru", "Русский"}, {"vi", "Tiếng Việt"}, {"th", "ไทย"},
        {"id", "Bahasa Indonesia"}};
    return names.value(code);
}

QStringList Localizer::defaultCandidates() {
    // The table compiled into the program is the one that ships. A developer who edits the
    // string table can point VELMORA_STRINGS at the edited file to see it without a rebuild;
    // it is tried first so it really wins, and no build machine's path is baked in.
    QStringList candidates;
    const QString override = qEnvironmentVariable("VELMORA_STRINGS");
    if (!override.isEmpty()) candidates << override;
    candidates << QStringLiteral(":/i18n/strings.json");
    return candidates;
}

Localizer& Localizer::shared() {
    // Starts in the system's language; the application applies the user's choice.
    static Localizer* instance = new Localizer(defaultCandidates(), QStringLiteral("auto"));
    return *instance;
}

Localizer::Localizer(const QStringList& candidates, const QString& language,
                     std::function<QStringList()> preferred, QObject* parent)
    : QObject(parent), preferred_(std::move(preferred)) {
    for (const QString& path : candidates) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        if (auto tables = decode(file.readAll())) {
            all_ = std::move(*tables);
            break;
        }
    }
    en_ = all_.value(QStringLiteral("en"));
    ko_ = all_.value(QStringLiteral("ko"));
    apply(language);
}

std::optional<Localizer::Tables> Localizer::decode(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    Tables tables;
    const QJsonObject top = doc.object();
    for (auto lang = top.begin(); lang != top.end(); ++lang) {
        if (!lang.value().isObject()) return std::nullopt;
        const QJsonObject entries = lang.value().toObject();
        Table table;
        table.reserve(entries.size());
        for (auto e = entries.begin(); e != entries.end(); ++e) {
            if (!e.value().isString()) return std::nullopt;
            table.insert(e.key(), e.value().toString());
        }
        tables.insert(lang.key(), std::move(table));
    }
    return tables;
}

const QString* Localizer::find(const QString& key) const {
    for (const Table* table : {cur_, &en_, &ko_}) {
        auto it = table->constFind(key);
        if (it != table->constEnd()) return &*it;
    }
    return nullptr;
}

QString Localizer::t(const QString& key) const {
    const QString* found = find(key);
    return found ? *found : key;
}

QString Localizer::fill(QStringView text, std::span<const QString> args) {
    constexpr qsizetype kMaxDigits = 9;
    QString out;
    out.reserve(text.size());
    qsizetype copied = 0;  // text before this index is in `out` already
    for (qsizetype open = text.indexOf(u'{'); open >= 0; open = text.indexOf(u'{', open + 1)) {
        qsizetype close = open + 1;
        while (close < text.size() && close - open <= kMaxDigits && text[close] >= u'0' &&
               text[close] <= u'9')
            ++close;
        if (close == open + 1 || close >= text.size() || text[close] != u'}') continue;
        // Only the plain decimal form names an argument: "{01}" stays as written.
        const QStringView digits = text.sliced(open + 1, close - open - 1);
        if (digits.size() > 1 && digits[0] == u'0') continue;
        const size_t index = digits.toULong();
        if (index >= args.size()) continue;
        out += text.sliced(copied, open - copied);
        out += args[index];
        copied = close + 1;
        open = close;
    }
    out += text.sliced(copied);
    return out;
}

void Localizer::apply(QString code) {
    if (code.isEmpty() || code == QLatin1String("auto"))
        code = systemBest(preferred_ ? preferred_() : QStringList());
    if (!supported().contains(code)) code = QStringLiteral("en");
    language_ = code;
    auto it = all_.constFind(language_);
    cur_ = it != all_.constEnd() ? &it.value() : &en_;
    emit languageChanged();
}

QString Localizer::systemLanguageName() const {
    const QString name = displayName(systemBest(preferred_ ? preferred_() : QStringList()));
    return name.isEmpty() ? QStringLiteral("English") : name;
}

QStringList Localizer::systemPreferredLanguages() {
    return QLocale::system().uiLanguages();
}

QString Localizer::systemBest(const QStringList& preferred) {
    for (const QString& tag : preferred) {
        const QString t = tag.toLower();
        if (t.startsWith(u"ko")) return QStringLiteral("ko");
        if (t.startsWith(u"ja")) return QStringLiteral("ja");
        if (t.contains(u"hant") || t.contains(u"-tw") || t.contains(u"-hk") || t.contains(u"-mo"))
            return QStringLiteral("zh-Hant");
        static const char* const prefixes[][2] = {{"zh", "zh"}, {"es", "es"}, {"fr", "fr"}, {"de", "de"},
                                                  {"pt", "pt"}, {"ru", "ru"}, {"vi", "vi"}, {"th", "th"},
                                                  {"id", "id"}, {"in", "id"}, {"en", "en"}};
        for (const auto& p : prefixes)
            if (t.startsWith(QLatin1String(p[0]))) return QString::fromLatin1(p[1]);
    }
    return QStringLiteral("en");
}

}  // namespace velmora
