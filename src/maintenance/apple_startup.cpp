#include "maintenance/apple_startup.h"

#include <QFileInfo>

namespace velmora {

namespace {

QStringView trimSpacesAndTabs(QStringView s) {
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (!s.isEmpty() && blank(s.front()))
        s = s.mid(1);
    while (!s.isEmpty() && blank(s.back()))
        s.chop(1);
    return s;
}

}  // namespace

QStringList splitOsaList(const QString& output) {
    const QString text = output.trimmed();
    QStringList items;
    if (text.isEmpty()) return items;
    for (QStringView piece : QStringView(text).split(u", ")) {
        const QStringView item = trimSpacesAndTabs(piece);
        if (!item.isEmpty()) items.push_back(item.toString());
    }
    return items;
}

QString deleteLoginItemScript(const QString& name) {
    QString escaped;
    escaped.reserve(name.size() + 8);
    for (QChar c : name) {
        if (c == u'\\' || c == u'"') escaped += u'\\';
        escaped += c;
    }
    return QStringLiteral("tell application \"System Events\" to delete login item \"") + escaped + u'"';
}

StartupScan loginItemsFrom(const QStringList& names, const QStringList& paths) {
    StartupScan scan;
    scan.needsPermission = names.isEmpty();
    for (qsizetype i = 0; i < names.size(); ++i)
        scan.items.push_back({names[i], i < paths.size() ? paths[i] : QString(),
                              QString::fromUtf8(StartupItem::loginItemKind)});
    return scan;
}

std::optional<QString> launchAgentName(const QString& fileName, const std::optional<QString>& label) {
    const QFileInfo info(fileName);
    if (info.suffix() != QLatin1String("plist")) return std::nullopt;
    if (label && !label->isEmpty()) return *label;
    return info.completeBaseName();
}

}  // namespace velmora
