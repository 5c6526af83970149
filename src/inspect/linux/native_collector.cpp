#include "inspect/linux/native_collector.h"

#include "inspect/native_logic.h"
#include "inspect/reverse_dns.h"
#include "inspect/tool_parsers.h"

#include <QUuid>

#include <netinet/in.h>
#include <sys/socket.h>

#include <unordered_map>

namespace velmora {

std::unique_ptr<ProcessCollector> makeSystemCollector() {
    return std::make_unique<NativeCollector>("/proc", &ReverseDNS::shared());
}

namespace {

bool hasRemote(const platform::InetEntry& e) {
    return e.remotePort != 0 || !isUnspecified(e.family == AF_INET6, e.remoteAddr.data());
}

QString localText(const platform::InetEntry& e) {
    return endpointText(e.family == AF_INET6, e.localAddr.data(), e.localPort);
}

QString remoteText(const platform::InetEntry& e) {
    return endpointText(e.family == AF_INET6, e.remoteAddr.data(), e.remotePort);
}

}  // namespace

NativeCollector::NativeCollector(std::string procRoot, ReverseDNS* dns)
    : source_(procRoot), files_(procRoot), dns_(dns) {}

std::optional<ProcessStaticInfo> NativeCollector::fetchStatic(int32_t pid) {
    return ProcessDetailFetcher::fetchStaticRaw(pid, source_);
}

std::optional<ProcessLiveInfo> NativeCollector::fetchLive(int32_t pid) {
    return ProcessDetailFetcher::fetchLive(pid, source_);
}

std::optional<MemoryFootprint> NativeCollector::memory(int32_t pid) {
    FootprintBuilder builder;
    const bool read = files_.memoryRegions(pid, [&](const platform::MemRegion& r) {
        builder.add(r.path, r.shared, r.privateDirty + r.sharedDirty + r.swap, r.privateClean + r.sharedClean,
                    r.lazyFree);
    });
    if (!read) return std::nullopt;
    return builder.result();
}

std::vector<NetConnection> NativeCollector::connections(int32_t pid) {
    std::vector<NetConnection> list;
    if (!files_.scanFds(pid, false, 0, scan_) || scan_.socketInodes.empty()) return list;
    files_.inetSockets(pid, table_);
    std::unordered_map<uint64_t, const platform::InetEntry*> byInode;
    bool anyTcp = false;
    for (const auto& e : table_) {
        byInode.emplace(e.inode, &e);
        anyTcp |= !e.udp;
    }
    std::unordered_map<uint64_t, const platform::InetSocket*> traffic;
    if (anyTcp && diag_.tcpSockets(tcp_))
        for (const auto& s : tcp_)
            traffic.emplace(s.inode, &s);

    for (const uint64_t inode : scan_.socketInodes) {
        const auto it = byInode.find(inode);
        if (it == byInode.end()) continue;  // not an Internet socket
        const platform::InetEntry& e = *it->second;
        NetConnection c;
        c.proto = QString::fromLatin1(e.udp ? "UDP" : "TCP") + (e.family == AF_INET6 ? u'6' : u'4');
        c.localAddr = localText(e);
        c.remoteAddr = hasRemote(e) ? remoteText(e) : QStringLiteral("*:*");
        if (!e.udp) c.state = tcpStateName(e.state);
        if (const auto t = traffic.find(inode); t != traffic.end()) {
            c.inBytes = t->second->bytesReceived;
            c.outBytes = t->second->bytesSent;
        }
        c.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (const auto ip = c.remoteIP(); ip && dns_) c.host = dns_->hostname(*ip);
        list.push_back(std::move(c));
    }
    sortConnections(list);
    return list;
}

std::optional<OpenFilesResult> NativeCollector::openFiles(int32_t pid) {
    platform::FdScan scan;
    if (!files_.scanFds(pid, true, kOpenFileNamesKept, scan)) return std::nullopt;
    OpenFilesResult r;
    r.permissionLimited = scan.denied;
    int sockets = 0;
    if (!scan.socketInodes.empty()) {
        std::vector<platform::InetEntry> table;
        files_.inetSockets(pid, table);
        std::unordered_map<uint64_t, const platform::InetEntry*> byInode;
        for (const auto& e : table)
            byInode.emplace(e.inode, &e);
        for (const uint64_t inode : scan.socketInodes) {
            const auto it = byInode.find(inode);
            if (it == byInode.end()) continue;
            ++sockets;
            if (r.connections.size() >= kOpenFileNamesKept) continue;
            const auto& e = *it->second;
            r.connections.append(hasRemote(e) ? localText(e) + QStringLiteral("->") + remoteText(e)
                                              : localText(e));
        }
    }
    r.files.reserve(static_cast<qsizetype>(scan.files.size()));
    for (const auto& f : scan.files)
        r.files.append(QString::fromUtf8(f));
    r.totalCount = sockets + static_cast<int>(scan.fileCount);
    return r;
}

}  // namespace velmora
