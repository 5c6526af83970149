#include "platform/linux/login_item_linux.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>

namespace velmora::platform {

namespace linux_autostart {

AutostartEntry::AutostartEntry(QString autostartDir, QString desktopEntryId, QString program)
    : dir_(std::move(autostartDir)), id_(std::move(desktopEntryId)), program_(std::move(program)) {}

bool AutostartEntry::available() const {
    return !id_.isEmpty() && !program_.isEmpty() && !dir_.isEmpty();
}

QString AutostartEntry::path() const {
    return dir_ + QLatin1Char('/') + id_ + QStringLiteral(".desktop");
}

bool AutostartEntry::enabled() const {
    if (!available()) return false;
    QFile f(path());
    if (!f.open(QIODevice::ReadOnly)) return false;
    return entryEnabled(f.read(1 << 20));
}

bool AutostartEntry::setEnabled(bool enabled) {
    failure_ = {};
    if (!available()) return false;
    auto fail = [this](const QString& where, const QString& reason) {
        failure_ = {where, reason};
        return false;
    };
    if (!enabled) {
        QFile entry(path());
        if (!QFileInfo::exists(path()) && !QFileInfo(path()).isSymLink()) return true;
        return entry.remove() || fail(path(), entry.errorString());
    }
    const QFileInfo folder(dir_);
    if (folder.exists() && !folder.isDir()) return fail(dir_, qt_error_string(ENOTDIR));
    if (!QDir().mkpath(dir_)) return fail(dir_, qt_error_string(errno));
    // Written beside and renamed into place: a session that starts meanwhile sees the old
    // entry or the new one, never half of one.
    QSaveFile f(path());
    if (!f.open(QIODevice::WriteOnly)) return fail(path(), f.errorString());
    const QByteArray text = entryText(program_, id_);
    if (f.write(text) != text.size()) {
        const QString reason = f.errorString();
        f.cancelWriting();
        return fail(path(), reason);
    }
    return f.commit() || fail(path(), f.errorString());
}

QString execWord(const QString& program) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    QString word = program;
    word.replace(QLatin1Char('%'), QStringLiteral("%%"));
    const bool quote = std::any_of(word.begin(), word.end(), [](QChar c) { return reserved.contains(c); });
    if (quote) {
        QString q = QStringLiteral("\"");
        for (QChar c : word) {
            if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') q += QLatin1Char('\\');
            q += c;
        }
        word = q + QLatin1Char('"');
    }
    // Then the escapes of every string value of the file.
    word.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    word.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    word.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    word.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return word;
}

QByteArray entryText(const QString& program, const QString& iconName) {
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=Velmora\n");
    text += QStringLiteral("Exec=") + execWord(program) + QLatin1Char('\n');
    text += QStringLiteral("Icon=") + iconName + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\nX-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

bool entryEnabled(const QByteArray& text) {
    bool inMain = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inMain = line == "[Desktop Entry]";
            continue;
        }
        if (!inMain) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0 || line.left(eq).trimmed() != "Hidden") continue;
        if (line.mid(eq + 1).trimmed() == "true") return false;
    }
    return true;
}

}  // namespace linux_autostart

std::unique_ptr<LoginItem> makeLoginItem(const QString& desktopEntryId) {
    // A build run from its build folder has no installed desktop entry: nothing the desktop
    // could start at login under that name.
    QString id = desktopEntryId;
    if (!id.isEmpty() &&
        QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id + QStringLiteral(".desktop")).isEmpty())
        id.clear();
    const QString program = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    return std::make_unique<linux_autostart::AutostartEntry>(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart"), id,
        program);
}

}  // namespace velmora::platform
