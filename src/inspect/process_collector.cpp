#include "inspect/process_collector.h"

#include "core/localizer.h"

#include <QHash>

#include <pwd.h>
#include <unistd.h>

#include <mutex>
#include <vector>

namespace velmora {

QString ProcessDetailFetcher::statusKey(platform::ProcRunState state) {
    using S = platform::ProcRunState;
    switch (state) {
        case S::idle:
            return QStringLiteral(VL_KEY("psIdle"));
        case S::running:
            return QStringLiteral(VL_KEY("psRunning"));
        case S::sleeping:
            return QStringLiteral(VL_KEY("psSleeping"));
        case S::stopped:
            return QStringLiteral(VL_KEY("psStopped"));
        case S::zombie:
            return QStringLiteral(VL_KEY("psZombie"));
        case S::unknown:
            break;
    }
    return QStringLiteral("-");
}

QString ProcessDetailFetcher::userName(uint32_t uid) {
    // Name services may be slow (directory servers), and names do not change during a run.
    static std::mutex lock;
    static QHash<uint32_t, QString> cache;
    {
        std::lock_guard guard(lock);
        if (const auto it = cache.constFind(uid); it != cache.constEnd()) return *it;
    }
    QString name = QString::number(uid);
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(static_cast<uid_t>(uid), &pw, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_name && found->pw_name[0])
        name = QString::fromUtf8(found->pw_name);
    std::lock_guard guard(lock);
    cache.insert(uid, name);
    return name;
}

ProcessStaticInfo ProcessDetailFetcher::fromFacts(const platform::ProcFacts& f) {
    ProcessStaticInfo info;
    info.pid = f.pid;
    info.name = QString::fromUtf8(f.name);
    info.path = QString::fromUtf8(f.path);
    info.ppid = f.ppid;
    info.uid = f.uid;
    info.userName = userName(f.uid);
    if (f.startEpochSec > 0) info.startDate = QDateTime::fromSecsSinceEpoch(f.startEpochSec);
    info.statusKey = statusKey(f.state);
    info.command = QString::fromUtf8(f.command);
    info.archText = QString::fromUtf8(f.arch);
    return info;
}

void ProcessDetailFetcher::localize(ProcessStaticInfo& info) {
    info.statusText = info.statusKey == u"-" ? info.statusKey : L(info.statusKey);
}

std::optional<ProcessStaticInfo> ProcessDetailFetcher::fetchStaticRaw(int32_t pid,
                                                                      platform::ProcessFactsSource& source) {
    const auto facts = source.facts(pid);
    if (!facts) return std::nullopt;
    return fromFacts(*facts);
}

std::optional<ProcessStaticInfo> ProcessDetailFetcher::fetchStatic(int32_t pid) {
    auto info = fetchStaticRaw(pid);
    if (info) localize(*info);
    return info;
}

std::optional<ProcessLiveInfo> ProcessDetailFetcher::fetchLive(int32_t pid,
                                                               platform::ProcessFactsSource& source) {
    const auto c = source.counters(pid);
    if (!c) return std::nullopt;
    return ProcessLiveInfo{c->threads, c->residentBytes, c->virtualBytes, c->cpuSeconds};
}

}  // namespace velmora
