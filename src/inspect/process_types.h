#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

// Fixed facts about one process.
struct ProcessStaticInfo {
    int32_t pid = 0;
    QString name;
    QString path;  // empty when it cannot be read
    int32_t ppid = 0;
    uint32_t uid = 0;
    QString userName;                    // the login name, or the uid in decimal
    std::optional<QDateTime> startDate;  // absent when unknown
    QString statusText;                  // localized state, "-" when unknown
    QString command;                     // full command line, empty when unreadable
    QString archText;                    // "-" when unknown
    // The text key behind statusText ("-" when none), so a text made off the GUI thread
    // can be localized when it arrives there.
    QString statusKey;
};

struct ProcessLiveInfo {
    int threads = 0;
    uint64_t resident = 0;
    uint64_t virtualSize = 0;
    double cpuSeconds = 0;
};

struct MemCategory {
    QString name;
    uint64_t dirty = 0;
    uint64_t clean = 0;
    uint64_t reclaimable = 0;
    int regions = 0;
    bool operator==(const MemCategory&) const = default;
};

struct MemoryFootprint {
    uint64_t totalBytes = 0;              // 0 when unknown
    std::vector<MemCategory> categories;  // largest dirty first
};

// One network endpoint pair of a process.
struct NetConnection {
    QString proto;                // TCP4, TCP6, UDP4, UDP6, or TCP/UDP alone
    QString localAddr;            // "address:port", IPv6 addresses in brackets
    QString remoteAddr;           // "*:*" when there is no remote end
    QString state;                // TCP state ("ESTABLISHED", "LISTEN", ...), empty when none
    std::optional<QString> host;  // reverse name of the remote address, once known
    std::optional<uint64_t> inBytes;
    std::optional<uint64_t> outBytes;
    QString id;  // fresh per scan

    // The remote address without port and brackets; absent for "*" and empty ones.
    std::optional<QString> remoteIP() const;
    uint64_t totalBytes() const { return inBytes.value_or(0) + outBytes.value_or(0); }
};

// Open files and sockets of one process.
struct OpenFilesResult {
    // Every Internet socket, regular file and directory counted, including names that were
    // not kept: a process may hold hundreds of thousands.
    int totalCount = 0;
    QStringList connections;         // Internet sockets, as "local->remote" or "local"
    QStringList files;               // regular files and directories
    bool permissionLimited = false;  // the list may be incomplete
};

// How many names an open-file result keeps of each kind.
inline constexpr int kOpenFileNamesKept = 4000;

}  // namespace velmora
