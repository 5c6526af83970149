#include "maintenance/user_units.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>

namespace velmora {

namespace {

const QString kServices = QStringLiteral("*.service");
const QString kLoginTarget = QStringLiteral("default.target.wants");

struct UnitFile {
    QString path;
    bool users = false;
    bool masked = false;
};

// "getty@tty1.service" is made from "getty@.service"; empty for a name that is no instance.
QString templateOf(const QString& unit) {
    const qsizetype at = unit.indexOf(QLatin1Char('@'));
    if (at < 0 || at + 1 >= unit.size() || unit.at(at + 1) == QLatin1Char('.')) return {};
    return unit.left(at + 1) + QStringLiteral(".service");
}

// Unit files and the links of *.wants folders include dangling links and the links to
// /dev/null (a character device), so the listing asks for every kind of entry.
QStringList servicesIn(const QDir& dir) {
    return dir.entryList({kServices}, QDir::Files | QDir::System | QDir::Hidden, QDir::Name);
}

}  // namespace

std::vector<UnitFolder> sessionUnitFolders() {
    const QString unitDir = QStringLiteral("/systemd/user");
    std::vector<UnitFolder> folders;
    folders.push_back({QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + unitDir, true});
    folders.push_back({QStringLiteral("/etc/systemd/user"), false});
    folders.push_back({QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + unitDir, true});
    const QStringList data = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (qsizetype i = 1; i < data.size(); ++i)  // the first one is the user's, above
        folders.push_back({data[i] + unitDir, false});
    for (const char* lib : {"/usr/local/lib/systemd/user", "/usr/lib/systemd/user", "/lib/systemd/user"})
        folders.push_back({QString::fromLatin1(lib), false});
    return folders;
}

std::vector<StartupItem> unitAgents(const std::vector<UnitFolder>& search) {
    QHash<QString, UnitFile> files;
    QSet<QString> wanted, atLogin;
    for (const UnitFolder& folder : search) {
        const QDir dir(folder.path);
        for (const QString& name : servicesIn(dir)) {
            if (files.contains(name)) continue;  // shadowed by an earlier folder
            const QFileInfo info(dir.filePath(name));
            const bool masked = (info.isSymLink() && info.symLinkTarget() == QLatin1String("/dev/null")) ||
                                (info.isFile() && info.size() == 0);
            if (!masked && !info.isFile()) continue;  // a dangling link, a folder: no unit
            files.insert(name, {info.filePath(), folder.users, masked});
        }
        const QStringList links =
            dir.entryList({QStringLiteral("*.wants"), QStringLiteral("*.requires")}, QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QString& link : links) {
            const QStringList units = servicesIn(QDir(dir.filePath(link)));
            for (const QString& unit : units)
                wanted.insert(unit);
            if (link == kLoginTarget)
                for (const QString& unit : units)
                    atLogin.insert(unit);
        }
    }

    auto enabled = [&](const QString& name) {
        if (wanted.contains(name)) return true;
        if (!name.endsWith(QLatin1String("@.service"))) return false;
        const QString prefix = name.chopped(QStringLiteral(".service").size());
        return std::any_of(wanted.cbegin(), wanted.cend(), [&](const QString& w) { return w.startsWith(prefix); });
    };
    const QString agent = QString::fromUtf8(StartupItem::launchAgentKind);
    std::vector<StartupItem> items;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!it->users) continue;
        StartupItem item{it.key(), it->path, agent};
        item.state = it->masked ? StartupItem::State::masked
                                : enabled(it.key()) ? StartupItem::State::starts : StartupItem::State::disabled;
        items.push_back(std::move(item));
    }
    for (const QString& name : atLogin) {
        auto found = files.constFind(name);
        if (found == files.cend()) found = files.constFind(templateOf(name));
        if (found == files.cend() || found->users) continue;  // nothing to start, or listed above
        StartupItem item{name, found->path, agent};
        item.state = found->masked ? StartupItem::State::masked : StartupItem::State::starts;
        item.system = true;
        items.push_back(std::move(item));
    }
    std::sort(items.begin(), items.end(), [](const StartupItem& a, const StartupItem& b) { return a.name < b.name; });
    return items;
}

}  // namespace velmora
