#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <QLocale>

#include <array>
#include <concepts>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace velmora {

// Marks a text key that is looked up later (kept in a table rather than passed to t/L
// directly), so the key scanner of the tests sees it.
#define VL_KEY(key) key

// Every user-visible text, looked up by key in one table of all languages, with the
// fallback chain current language → English → Korean → the key itself.
class Localizer : public QObject {
    Q_OBJECT
  public:
    using Table = QHash<QString, QString>;
    using Tables = QHash<QString, Table>;

    static const QStringList& supported();
    static QString displayName(const QString& code);

    // The shared instance reads the table compiled into the program (see defaultCandidates).
    static Localizer& shared();
    static QStringList defaultCandidates();

    // Loads the first candidate file that reads and decodes, then applies `language`.
    // `preferred` gives the operating system's preferred languages, most wanted first.
    Localizer(const QStringList& candidates, const QString& language,
              std::function<QStringList()> preferred = systemPreferredLanguages, QObject* parent = nullptr);

    QString t(const QString& key) const;
    // A key found nowhere comes back as it is, with nothing replaced.
    template <typename... Args>
    QString t(const QString& key, const Args&... args) const {
        const QString* found = find(key);
        if (!found) return key;
        const std::array<QString, sizeof...(Args)> texts{toText(args)...};
        return fill(*found, texts);
    }

    // Switches the language; "auto" or "" means the best match of the preferred languages.
    void apply(QString code);
    const QString& language() const { return language_; }
    QString systemLanguageName() const;

    static QString systemBest(const QStringList& preferred);
    static QStringList systemPreferredLanguages();
    // A two-level object of strings only; anything else is rejected as a whole.
    static std::optional<Tables> decode(const QByteArray& json);

    // `text` with each "{N}" that has an argument replaced by argument N, in one pass over
    // `text` alone: braces inside an argument are never read as placeholders.
    static QString fill(QStringView text, std::span<const QString> args);

    // Plain textual form of a placeholder argument.
    static QString toText(const QString& s) { return s; }
    static QString toText(const char* s) { return QString::fromUtf8(s); }
    static QString toText(const std::string& s) { return QString::fromStdString(s); }
    static QString toText(std::integral auto v) { return QString::number(v); }
    static QString toText(std::floating_point auto v) {
        return QString::number(static_cast<double>(v), 'g', QLocale::FloatingPointShortest);
    }

  signals:
    void languageChanged();

  private:
    const QString* find(const QString& key) const;

    std::function<QStringList()> preferred_;
    Tables all_;
    Table en_;
    Table ko_;
    const Table* cur_ = &en_;
    QString language_ = QStringLiteral("en");
};

// Lookup on the shared localizer, for code that is not a view.
inline QString L(const QString& key) {
    return Localizer::shared().t(key);
}
template <typename... Args>
QString L(const QString& key, const Args&... args) {
    return Localizer::shared().t(key, args...);
}

}  // namespace velmora
