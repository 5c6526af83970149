#include "inspect/linux/native_collector.h"

#include "inspect/native_logic.h"
#include "inspect/reverse_dns.h"
#include "inspect/tool_parsers.h"

#include <QUuid>

#include <netinet/in.h>
#include <sys/socket.h>

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

void NativeCollector::gatherSockets(int32_t pid, const std::vector<uint64_t>& inodes, bool wantTraffic) {
    sockets_.clear();
    table_.clear();
    if (inodes.empty()) return;
    for (uint64_t inode : inodes)
        sockets_.emplace(inode, Found());
    const bool diag = wantTraffic && files_.sharesNetNamespace(pid) && diag_.tcpSockets(tcp_);
    if (diag) {
        for (const auto& s : tcp_) {
            if (!sockets_.contains(s.inode)) continue;
            platform::InetEntry e;
            e.inode = s.inode;
            e.family = s.family;
            e.state = s.state;
            e.localAddr = s.localAddr;
            e.remoteAddr = s.remoteAddr;
            e.localPort = s.localPort;
            e.remotePort = s.remotePort;
            table_.push_back(e);
        }
    }
    files_.inetSockets(pid, !diag, true, table_);
    for (const auto& e : table_) {
        const auto it = sockets_.find(e.inode);
        if (it != sockets_.end() && !it->second.entry) it->second.entry = &e;
    }
    if (diag) {
        for (const auto& s : tcp_) {
            const auto it = sockets_.find(s.inode);
            if (it == sockets_.end()) continue;
            it->second.in = s.bytesReceived;
            it->second.out = s.bytesSent;
        }
    }
}

std::vector<NetConnection> NativeCollector::connections(int32_t pid) {
    std::vector<NetConnection> list;
    if (!files_.scanFds(pid, false, 0, scan_)) return list;
    gatherSockets(pid, scan_.socketInodes, true);
    for (const uint64_t inode : scan_.socketInodes) {
        const Found& found = sockets_[inode];
        if (!found.entry) continue;  // not an Internet socket
        const platform::InetEntry& e = *found.entry;
        NetConnection c;
        c.proto = QString::fromLatin1(e.udp ? "UDP" : "TCP") + (e.family == AF_INET6 ? u'6' : u'4');
        c.localAddr = localText(e);
        c.remoteAddr = hasRemote(e) ? remoteText(e) : QStringLiteral("*:*");
        if (!e.udp) c.state = tcpStateName(e.state);
        c.inBytes = found.in;
        c.outBytes = found.out;
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
    gatherSockets(pid, scan.socketInodes, false);
    int sockets = 0;
    for (const uint64_t inode : scan.socketInodes) {
        const Found& found = sockets_[inode];
        if (!found.entry) continue;
        ++sockets;
        if (r.connections.size() >= kOpenFileNamesKept) continue;
        const auto& e = *found.entry;
        r.connections.append(hasRemote(e) ? localText(e) + QStringLiteral("->") + remoteText(e)
                                          : localText(e));
    }
    r.files.reserve(static_cast<qsizetype>(scan.files.size()));
    for (const auto& f : scan.files)
        r.files.append(QString::fromUtf8(f));
    r.totalCount = sockets + static_cast<int>(scan.fileCount);
    return r;
}

}  // namespace velmora
