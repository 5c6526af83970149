#include "inspect/native_logic.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>

namespace velmora {

bool isUnspecified(bool ipv6, const uint8_t* addr) {
    return std::all_of(addr, addr + (ipv6 ? 16 : 4), [](uint8_t b) { return b == 0; });
}

QString endpointText(bool ipv6, const uint8_t* addr, uint16_t port) {
    const QString portText = QString::number(port);
    if (isUnspecified(ipv6, addr)) return QStringLiteral("*:") + portText;
    char text[INET6_ADDRSTRLEN] = {};
    if (!inet_ntop(ipv6 ? AF_INET6 : AF_INET, addr, text, sizeof text))
        return QStringLiteral("?:") + portText;
    const QString host = QString::fromLatin1(text);
    return ipv6 ? u'[' + host + QStringLiteral("]:") + portText : host + u':' + portText;
}

QString tcpStateName(uint8_t state) {
    // The kernel's numbering (include/net/tcp_states.h), named as the Apple tools name them.
    switch (state) {
        case 1:
            return QStringLiteral("ESTABLISHED");
        case 2:
            return QStringLiteral("SYN_SENT");
        case 3:
            return QStringLiteral("SYN_RECEIVED");
        case 4:
            return QStringLiteral("FIN_WAIT_1");
        case 5:
            return QStringLiteral("FIN_WAIT_2");
        case 6:
            return QStringLiteral("TIME_WAIT");
        case 7:
            return QStringLiteral("CLOSED");
        case 8:
            return QStringLiteral("CLOSE_WAIT");
        case 9:
            return QStringLiteral("LAST_ACK");
        case 10:
            return QStringLiteral("LISTEN");
        case 11:
            return QStringLiteral("CLOSING");
        case 12:
            return QStringLiteral("SYN_RECEIVED");  // a request not yet accepted
        default:
            return {};
    }
}

namespace {

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string memCategoryName(std::string_view path, bool shared) {
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() >= kDeleted.size() && path.substr(path.size() - kDeleted.size()) == kDeleted)
        path.remove_suffix(kDeleted.size());
    if (path.empty()) return shared ? "[shmem]" : "[anon]";
    if (path == "[heap]") return "[heap]";
    if (path == "[stack]" || startsWith(path, "[stack:")) return "[stack]";
    if (startsWith(path, "[anon_shmem:")) return "[shmem]";
    if (path.front() == '[') return std::string(path);
    if (startsWith(path, "/dev/shm/") || startsWith(path, "/SYSV") || startsWith(path, "/memfd:") ||
        path == "/dev/zero")
        return "[shmem]";
    const size_t slash = path.rfind('/');
    const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
    return std::string(base.empty() ? path : base);
}

void FootprintBuilder::add(std::string_view path, bool shared, uint64_t dirty, uint64_t clean,
                           uint64_t reclaimable) {
    std::string name = memCategoryName(path, shared);
    auto [it, fresh] = index_.try_emplace(name, sums_.size());
    if (fresh) sums_.push_back({std::move(name)});
    Sum& s = sums_[it->second];
    s.dirty += dirty;
    s.clean += clean;
    s.reclaimable += reclaimable;
    ++s.regions;
}

std::optional<MemoryFootprint> FootprintBuilder::result() const {
    if (sums_.empty()) return std::nullopt;
    MemoryFootprint fp;
    fp.categories.reserve(sums_.size());
    for (const Sum& s : sums_) {
        fp.totalBytes += s.dirty;
        fp.categories.push_back({QString::fromUtf8(s.name), s.dirty, s.clean, s.reclaimable, s.regions});
    }
    std::stable_sort(fp.categories.begin(), fp.categories.end(),
                     [](const MemCategory& a, const MemCategory& b) { return a.dirty > b.dirty; });
    return fp;
}

}  // namespace velmora
