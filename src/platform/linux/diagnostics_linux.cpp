#include "platform/linux/diagnostics_linux.h"

#include "platform/diagnostics.h"

#include <QDir>
#include <QFile>

#include <sys/utsname.h>
#include <unistd.h>

namespace velmora::platform {

namespace linux_diag {

QString prettyName(const QByteArray& osRelease) {
    for (const QByteArray& raw : osRelease.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith("PRETTY_NAME=")) continue;
        QByteArray value = line.mid(int(sizeof("PRETTY_NAME=")) - 1);
        // Shell-style quoting: one pair of quotes around, backslash escapes inside.
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        QByteArray out;
        out.reserve(value.size());
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) ++i;
            out += value[i];
        }
        return QString::fromUtf8(out).trimmed();
    }
    return {};
}

QString osText(const QString& prettyName, const QString& kernelRelease) {
    const QString name = prettyName.isEmpty() ? QStringLiteral("Linux") : prettyName;
    return kernelRelease.isEmpty() ? name : name + QStringLiteral(", kernel ") + kernelRelease;
}

QString stateFolder(const QString& xdgStateHome, const QString& home) {
    // The XDG rules ignore a relative value.
    const QString base = QDir::isAbsolutePath(xdgStateHome) ? xdgStateHome : home + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/velmora"));
}

QString logFolder(const QString& xdgStateHome, const QString& home) {
    return stateFolder(xdgStateHome, home) + QStringLiteral("/logs");
}

}  // namespace linux_diag

SystemFacts systemFacts() {
    SystemFacts facts;
    QByteArray osRelease;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        QFile f(QString::fromLatin1(path));
        if (f.open(QIODevice::ReadOnly)) {
            osRelease = f.read(64 << 10);
            break;
        }
    }
    utsname uts{};
    const QString kernel = uname(&uts) == 0 ? QString::fromLocal8Bit(uts.release) : QString();
    facts.osText = linux_diag::osText(linux_diag::prettyName(osRelease), kernel);
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0) facts.memoryBytes = uint64_t(pages) * uint64_t(pageSize);
    const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    facts.processors = cpus > 0 ? int(cpus) : 1;
    return facts;
}

QString logFolder() {
    return linux_diag::logFolder(qEnvironmentVariable("XDG_STATE_HOME"), QDir::homePath());
}

QString stateFolder() {
    return linux_diag::stateFolder(qEnvironmentVariable("XDG_STATE_HOME"), QDir::homePath());
}

}  // namespace velmora::platform
