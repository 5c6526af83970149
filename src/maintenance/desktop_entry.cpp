#include "maintenance/desktop_entry.h"

#include "platform/process.h"
#include "platform/small_file.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

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

std::optional<QString> readEntryFile(const QString& path) {
    platform::FileStamp stamp;
    std::string buf;
    if (platform::readSmallFile(QFile::encodeName(path).toStdString(), stamp, buf, kMaxDesktopEntryBytes + 1) !=
            platform::SmallFileRead::read ||
        buf.size() > kMaxDesktopEntryBytes)
        return std::nullopt;
    return platform::decodeUtf8(QByteArray::fromStdString(buf));
}

// The locales a Name[...] key may carry for an interface language, best first.
QStringList localesFor(const QString& language) {
    if (language == QLatin1String("zh-Hant")) return {QStringLiteral("zh_TW"), QStringLiteral("zh_HK")};
    if (language == QLatin1String("zh")) return {QStringLiteral("zh_CN"), QStringLiteral("zh")};
    return {language};
}

std::optional<DesktopEntry> parseEntryText(const QString& text);

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(const QByteArray& bytes) {
    const std::optional<QString> text = platform::decodeUtf8(bytes);
    if (!text) return std::nullopt;
    return parseEntryText(*text);
}

namespace {

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
            entry.hidden = value == u"true" || value == u"1";
        } else if (key == u"OnlyShowIn") {
            entry.onlyShowIn = splitList(value);
        } else if (key == u"NotShowIn") {
            entry.notShowIn = splitList(value);
        }
    }
    if (!seen) return std::nullopt;
    return entry;
}

}  // namespace

QString entryName(const DesktopEntry& entry, const QString& language) {
    for (const QString& locale : localesFor(language)) {
        for (const auto& [key, name] : entry.localizedNames)
            if (key == locale && !name.isEmpty()) return name;
    }
    // A plain language ("pt") also takes a regional name ("pt_BR") when the file has no
    // plain one; the script variants ("zh-Hant") have their regions listed above.
    if (!language.contains(u'-')) {
        const QString prefix = language + QLatin1Char('_');
        for (const auto& [key, name] : entry.localizedNames)
            if (key.startsWith(prefix) && !name.isEmpty()) return name;
    }
    return entry.name;
}

bool entryInEffect(const DesktopEntry& entry, const QStringList& desktops) {
    if (entry.hidden) return false;
    auto named = [&](const QStringList& list) {
        return std::any_of(desktops.cbegin(), desktops.cend(), [&](const QString& d) { return list.contains(d); });
    };
    if (!entry.onlyShowIn.isEmpty() && !named(entry.onlyShowIn)) return false;
    return !named(entry.notShowIn);
}

std::vector<StartupItem> autostartItems(const QStringList& dirs, const QStringList& desktops,
                                        const QString& language) {
    QSet<QString> seen;
    std::vector<std::pair<QString, StartupItem>> found;
    for (const QString& dir : dirs) {
        const QDir folder(dir);
        for (const QString& file : folder.entryList({QStringLiteral("*") + kSuffix}, QDir::Files | QDir::Hidden)) {
            if (seen.contains(file)) continue;  // shadowed by a folder before this one
            seen.insert(file);
            const QString path = folder.filePath(file);
            const std::optional<QString> text = readEntryFile(path);
            if (!text) continue;
            const std::optional<DesktopEntry> entry = parseEntryText(*text);
            if (!entry || !entryInEffect(*entry, desktops)) continue;
            QString name = entryName(*entry, language);
            if (name.isEmpty()) name = file.chopped(kSuffix.size());
            found.push_back({file, {name, path, QString::fromUtf8(StartupItem::loginItemKind)}});
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<StartupItem> items;
    items.reserve(found.size());
    for (auto& [file, item] : found)
        items.push_back(std::move(item));
    return items;
}

bool hideAutostartEntry(const QString& path, const QString& userDir) {
    const QString fileName = QFileInfo(path).fileName();
    if (!fileName.endsWith(kSuffix) || !QDir().mkpath(userDir)) return false;

    // The entry in effect, its own Hidden lines dropped and Hidden=true right under the group
    // header; every other line stays as it was.
    QStringList out;
    bool placed = false;
    if (const std::optional<QString> text = readEntryFile(path); text && parseEntryText(*text)) {
        bool inGroup = false;
        const QStringList lines = text->split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString& line = lines[i];
            if (i + 1 == lines.size() && line.isEmpty()) break;  // the final line feed
            const QStringView trimmed = QStringView(line).trimmed();
            if (isGroupHeader(trimmed)) inGroup = trimmed == kGroup;
            if (inGroup && trimmed.startsWith(u"Hidden") && trimmed.mid(6).trimmed().startsWith(u'=')) continue;
            out.push_back(line);
            if (inGroup && !placed && trimmed == kGroup) {
                out.push_back(QStringLiteral("Hidden=true"));
                placed = true;
            }
        }
    }
    if (!placed)
        out = {kGroup, QStringLiteral("Type=Application"), QStringLiteral("Name=") + fileName.chopped(kSuffix.size()),
               QStringLiteral("Hidden=true")};

    const QString target = QDir(userDir).filePath(fileName);
    // A link in the user's folder is replaced by a file of the user's own, never written through.
    if (QFileInfo(target).isSymLink() && !QFile::remove(target)) return false;
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write((out.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    return file.commit();
}

std::vector<StartupItem> userUnitAgents(const QString& dir) {
    std::vector<StartupItem> items;
    const QDir folder(dir);
    for (const QString& file : folder.entryList({QStringLiteral("*.service")}, QDir::Files | QDir::Hidden))
        items.push_back({file, folder.filePath(file), QString::fromUtf8(StartupItem::launchAgentKind)});
    return items;
}

}  // namespace velmora
