#include "maintenance/desktop_entry.h"

#include "platform/process.h"
#include "platform/small_file.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>

#include <unistd.h>

namespace velmora {

namespace {

const QString kGroup = QStringLiteral("[Desktop Entry]");
const QString kSuffix = QStringLiteral(".desktop");

bool isGroupHeader(QStringView line) {
    return line.startsWith(u'[');
}

// Escapes of a desktop entry value: \s \n \t \r \\ (and \; inside lists, kept for the split).
QString unescape(QStringView value, bool list) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
            case 's': out += u' '; break;
            case 'n': out += u'\n'; break;
            case 't': out += u'\t'; break;
            case 'r': out += u'\r'; break;
            case '\\': out += list ? QStringLiteral("\\\\") : QStringLiteral("\\"); break;
            case ';': out += list ? QStringLiteral("\\;") : QStringLiteral(";"); break;
            default: out += c; out += next; break;
        }
    }
    return out;
}

QStringList splitList(QStringView value) {
    const QString text = unescape(value, true);
    QStringList items;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            current += text[++i];
        } else if (text[i] == u';') {
            if (!current.isEmpty()) items.push_back(current);
            current.clear();
        } else {
            current += text[i];
        }
    }
    if (!current.isEmpty()) items.push_back(current);
    return items;
}

bool isTrue(QStringView value) {
    return value == u"true" || value == u"1";
}

bool isFalse(QStringView value) {
    return value == u"false" || value == u"0";
}

// The file's bytes, when it is a regular file (links followed) no bigger than an entry may be.
std::optional<QByteArray> readEntryBytes(const QString& path) {
    platform::FileStamp stamp;
    std::string buf;
    if (platform::readSmallFile(QFile::encodeName(path).toStdString(), stamp, buf, kMaxDesktopEntryBytes + 1) !=
            platform::SmallFileRead::read ||
        buf.size() > kMaxDesktopEntryBytes)
        return std::nullopt;
    return QByteArray::fromStdString(buf);
}

// A locale split the way LC_MESSAGES writes it: language_COUNTRY.ENCODING@MODIFIER.
struct LocaleParts {
    QString language, country, modifier;
};

LocaleParts splitLocale(const QString& locale) {
    LocaleParts p;
    QString rest = locale;
    if (const qsizetype at = rest.indexOf(u'@'); at >= 0) {
        p.modifier = rest.mid(at + 1);
        rest.truncate(at);
    }
    if (const qsizetype dot = rest.indexOf(u'.'); dot >= 0) rest.truncate(dot);
    if (const qsizetype bar = rest.indexOf(u'_'); bar >= 0) {
        p.country = rest.mid(bar + 1);
        rest.truncate(bar);
    }
    p.language = rest;
    return p;
}

bool traditionalChinese(const QString& country) {
    return country == u"TW" || country == u"HK" || country == u"MO";
}

// The locales a Name[...] key may carry for a locale, best first.
QStringList localesFor(const QString& locale) {
    if (locale == QLatin1String("zh-Hant")) return {QStringLiteral("zh_TW"), QStringLiteral("zh_HK")};
    if (locale == QLatin1String("zh")) return {QStringLiteral("zh_CN"), QStringLiteral("zh")};
    const LocaleParts p = splitLocale(locale);
    if (p.language.isEmpty()) return {};
    QStringList out;
    auto add = [&](const QString& key) {
        if (!out.contains(key)) out.push_back(key);
    };
    if (p.language == u"zh" && !p.country.isEmpty()) {
        // A Chinese locale of one region falls back to the names of its script, not to plain
        // "zh" when that region writes the traditional script.
        add(QStringLiteral("zh_") + p.country);
        if (traditionalChinese(p.country)) {
            add(QStringLiteral("zh_TW"));
            add(QStringLiteral("zh_HK"));
        } else {
            add(QStringLiteral("zh_CN"));
            add(QStringLiteral("zh"));
        }
        return out;
    }
    const QString mod = p.modifier.isEmpty() ? QString() : QLatin1Char('@') + p.modifier;
    if (!p.country.isEmpty()) {
        if (!mod.isEmpty()) add(p.language + QLatin1Char('_') + p.country + mod);
        add(p.language + QLatin1Char('_') + p.country);
    }
    if (!mod.isEmpty()) add(p.language + mod);
    add(p.language);
    return out;
}

std::optional<DesktopEntry> parseEntryText(const QString& text) {
    DesktopEntry entry;
    bool seen = false, inGroup = false;
    for (QStringView raw : QStringView(text).split(u'\n')) {
        const QStringView line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (isGroupHeader(line)) {
            inGroup = line == kGroup;
            seen |= inGroup;
            continue;
        }
        if (!inGroup) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0) continue;
        const QStringView key = line.left(eq).trimmed();
        const QStringView value = line.mid(eq + 1).trimmed();
        if (key == u"Name") {
            entry.name = unescape(value, false);
        } else if (key.startsWith(u"Name[") && key.endsWith(u']')) {
            entry.localizedNames.push_back({key.mid(5, key.size() - 6).toString(), unescape(value, false)});
        } else if (key == u"Hidden") {
            entry.hidden = isTrue(value);
        } else if (key == u"X-GNOME-Autostart-enabled") {
            entry.switchedOff = isFalse(value);
        } else if (key == u"Exec") {
            entry.hasExec = !value.isEmpty();
        } else if (key == u"TryExec") {
            entry.tryExec = unescape(value, false);
        } else if (key == u"OnlyShowIn") {
            entry.onlyShowIn = splitList(value);
        } else if (key == u"NotShowIn") {
            entry.notShowIn = splitList(value);
        }
    }
    if (!seen) return std::nullopt;
    return entry;
}

bool programExists(const QString& program, const QStringList& programPath) {
    if (program.contains(QChar(u'\0'))) return false;  // no file has such a name
    if (program.contains(u'/')) {
        const QFileInfo file(program);
        return file.isFile() && file.isExecutable();
    }
    return !QStandardPaths::findExecutable(program, programPath).isEmpty();
}

// Writes `bytes` to `path` through a temporary file renamed over it, so the old content stays
// whole until the new one is complete. The file keeps its permissions.
bool commitFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

RemovalFailure failure(RemovalFailure::Reason reason, const QString& path) {
    return {reason, path};
}

// Sets Hidden=true in the file at `path` itself, which the listing read as `listed`.
std::optional<RemovalFailure> hideInPlace(const QString& path, const StartupItem& listed) {
    using Reason = RemovalFailure::Reason;
    const std::optional<QByteArray> bytes = readEntryBytes(path);
    if (!bytes) return failure(Reason::unreadable, path);
    const std::optional<QByteArray> edited = withHiddenSet(*bytes);
    if (!edited) return failure(Reason::unparsable, path);
    if (!listed.fingerprint.isEmpty() && entryFingerprint(*bytes) != listed.fingerprint)
        return failure(Reason::changed, path);
    if (*edited == *bytes) return std::nullopt;  // already switched off
    if (!commitFile(path, *edited)) return failure(Reason::unwritable, QFileInfo(path).absolutePath());
    return std::nullopt;
}

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(const QByteArray& bytes) {
    const std::optional<QString> text = platform::decodeUtf8(bytes);
    if (!text) return std::nullopt;
    return parseEntryText(*text);
}

QString nameLocale(const QString& language, const QString& sessionLocale) {
    const LocaleParts session = splitLocale(sessionLocale);
    const bool hant = language == QLatin1String("zh-Hant");
    const QString base = hant ? QStringLiteral("zh") : language;
    if (session.language != base) return language;
    if (base == u"zh") {
        // The session's region must write the interface's script.
        if (session.country.isEmpty() || traditionalChinese(session.country) != hant) return language;
        return QStringLiteral("zh_") + session.country;
    }
    QString out = session.language;
    if (!session.country.isEmpty()) out += QLatin1Char('_') + session.country;
    if (!session.modifier.isEmpty()) out += QLatin1Char('@') + session.modifier;
    return out;
}

QString entryName(const DesktopEntry& entry, const QString& locale) {
    for (const QString& key : localesFor(locale)) {
        for (const auto& [name, text] : entry.localizedNames)
            if (name == key && !text.isEmpty()) return text;
    }
    // A plain language ("pt") also takes a regional name ("pt_BR") when the file has no
    // plain one; the script variants ("zh-Hant") have their regions listed above.
    const LocaleParts p = splitLocale(locale);
    if (!locale.contains(u'-') && p.country.isEmpty() && !p.language.isEmpty()) {
        const QString prefix = p.language + QLatin1Char('_');
        for (const auto& [name, text] : entry.localizedNames)
            if (name.startsWith(prefix) && !text.isEmpty()) return text;
    }
    return entry.name;
}

StartupItem::State entryState(const DesktopEntry& entry, const QStringList& desktops, const QStringList& programPath) {
    using State = StartupItem::State;
    if (entry.hidden) return State::hidden;
    if (entry.switchedOff) return State::switchedOff;
    auto named = [&](const QStringList& list) {
        return std::any_of(desktops.cbegin(), desktops.cend(), [&](const QString& d) { return list.contains(d); });
    };
    if ((!entry.onlyShowIn.isEmpty() && !named(entry.onlyShowIn)) || named(entry.notShowIn)) return State::otherDesktop;
    if (!entry.hasExec) return State::noCommand;
    if (!entry.tryExec.isEmpty() && !programExists(entry.tryExec, programPath)) return State::programMissing;
    return State::starts;
}

QByteArray entryFingerprint(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

std::vector<StartupItem> autostartItems(const QStringList& dirs, const QStringList& desktops, const QString& locale,
                                        const QStringList& programPath) {
    QSet<QString> seen;
    std::vector<std::pair<QString, StartupItem>> found;
    for (const QString& dir : dirs) {
        const QDir folder(dir);
        for (const QString& file : folder.entryList({QStringLiteral("*") + kSuffix}, QDir::Files | QDir::Hidden)) {
            if (seen.contains(file)) continue;  // shadowed by a folder before this one
            seen.insert(file);
            const QString path = folder.filePath(file);
            const std::optional<QByteArray> bytes = readEntryBytes(path);
            if (!bytes) continue;
            const std::optional<DesktopEntry> entry = parseDesktopEntry(*bytes);
            if (!entry) continue;
            StartupItem item{entryName(*entry, locale), path, QString::fromUtf8(StartupItem::loginItemKind)};
            if (item.name.isEmpty()) item.name = file.chopped(kSuffix.size());
            item.state = entryState(*entry, desktops, programPath);
            if (item.state == StartupItem::State::programMissing) item.stateDetail = entry->tryExec;
            item.fingerprint = entryFingerprint(*bytes);
            found.push_back({file, std::move(item)});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<StartupItem> items;
    items.reserve(found.size());
    for (auto& [file, item] : found)
        items.push_back(std::move(item));
    return items;
}

std::optional<QByteArray> withHiddenSet(const QByteArray& bytes) {
    // Edited as text, line by line with the parser's own reading of groups and keys, then
    // encoded again: valid UTF-8 comes back byte for byte.
    const std::optional<QString> decoded = platform::decodeUtf8(bytes);
    if (!decoded) return std::nullopt;
    const QString& text = *decoded;
    QString out;
    out.reserve(text.size() + 16);
    bool inGroup = false, replaced = false;
    qsizetype insertAt = -1;
    QString headerEnd;
    for (qsizetype start = 0; start < text.size();) {
        const qsizetype lf = text.indexOf(u'\n', start);
        const qsizetype end = lf < 0 ? text.size() : lf + 1;
        qsizetype contentEnd = lf < 0 ? text.size() : lf;
        if (lf >= 0 && contentEnd > start && text[contentEnd - 1] == u'\r') --contentEnd;
        const QStringView content = QStringView(text).sliced(start, contentEnd - start);
        const QStringView lineEnd = QStringView(text).sliced(contentEnd, end - contentEnd);
        start = end;
        const QStringView line = content.trimmed();
        const bool meaningful = !line.isEmpty() && !line.startsWith(u'#');
        if (meaningful && isGroupHeader(line)) {
            inGroup = line == kGroup;
            out += content;
            out += lineEnd;
            if (inGroup && insertAt < 0) {
                insertAt = out.size();
                headerEnd = lineEnd.toString();
            }
            continue;
        }
        const qsizetype eq = meaningful && inGroup ? content.indexOf(u'=') : -1;
        if (eq > 0 && content.left(eq).trimmed() == u"Hidden") {
            // Only the value changes: the key, the spacing around it and the line's end stay.
            qsizetype valueStart = eq + 1, valueEnd = content.size();
            while (valueStart < valueEnd && content[valueStart].isSpace()) ++valueStart;
            while (valueEnd > valueStart && content[valueEnd - 1].isSpace()) --valueEnd;
            out += content.first(valueStart);
            out += u"true";
            out += content.sliced(valueEnd);
            out += lineEnd;
            replaced = true;
            continue;
        }
        out += content;
        out += lineEnd;
    }
    if (insertAt < 0) return std::nullopt;
    if (!replaced) {
        if (headerEnd.isEmpty()) {
            // The header is the file's last line, without an end of its own.
            const QString eol = text.contains(u"\r\n") ? QStringLiteral("\r\n") : QStringLiteral("\n");
            out.insert(insertAt, eol + QStringLiteral("Hidden=true") + eol);
        } else {
            out.insert(insertAt, QStringLiteral("Hidden=true") + headerEnd);
        }
    }
    static constexpr QByteArrayView kBom("\xEF\xBB\xBF");
    QByteArray encoded = out.toUtf8();
    if (bytes.startsWith(kBom) && !encoded.startsWith(kBom)) encoded.prepend(kBom);
    return encoded;
}

std::optional<RemovalFailure> hideAutostartEntry(const StartupItem& listed, const QString& userDir) {
    using Reason = RemovalFailure::Reason;
    const QFileInfo listedFile(listed.path);
    const QString fileName = listedFile.fileName();
    if (!fileName.endsWith(kSuffix)) return failure(Reason::unparsable, listed.path);
    const QString userFolder = QDir::cleanPath(QFileInfo(userDir).absoluteFilePath());
    const bool usersOwn = QDir::cleanPath(listedFile.absolutePath()) == userFolder;
    const QString userPath = userFolder + QLatin1Char('/') + fileName;

    const QFileInfo at(userPath);
    if (at.isSymLink()) {
        // The user's entry is a link: edited where it points, when that file is the user's.
        const QString target = at.canonicalFilePath();
        if (target.isEmpty()) return failure(Reason::danglingLink, userPath);
        if (!usersOwn) return failure(Reason::changed, userPath);  // appeared after the listing
        const QFileInfo file(target);
        if (file.isDir()) return failure(Reason::folderInTheWay, target);
        if (file.ownerId() != ::geteuid()) return failure(Reason::linkNotOwned, target);
        return hideInPlace(target, listed);
    }
    if (at.isDir()) return failure(Reason::folderInTheWay, userPath);
    if (at.exists()) {
        if (!usersOwn) return failure(Reason::changed, userPath);  // the user's own file appeared since
        return hideInPlace(userPath, listed);
    }
    if (usersOwn) return failure(Reason::changed, userPath);  // gone since the listing

    // An entry of the system's alone: the user's folder gets a copy that says Hidden=true.
    const std::optional<QByteArray> bytes = readEntryBytes(listed.path);
    if (!bytes) return failure(Reason::unreadable, listed.path);
    if (!listed.fingerprint.isEmpty() && entryFingerprint(*bytes) != listed.fingerprint)
        return failure(Reason::changed, listed.path);
    std::optional<QByteArray> copy = withHiddenSet(*bytes);
    if (!copy)  // not the user's file: a short entry that hides it will do
        copy = "[Desktop Entry]\nType=Application\nName=" + fileName.chopped(kSuffix.size()).toUtf8() +
               "\nHidden=true\n";
    if (!QDir().mkpath(userFolder) || !commitFile(userPath, *copy)) return failure(Reason::unwritable, userFolder);
    return std::nullopt;
}

}  // namespace velmora
