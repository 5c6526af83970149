#include "platform/linux/network_linux.h"

#include <net/if.h>

#include <algorithm>

namespace velmora::platform {

using namespace linux_fs;

std::unique_ptr<NetworkSource> makeNetworkSource() {
    return std::make_unique<LinuxNetworkSource>();
}

void parseNetDev(std::string_view text, std::vector<NetDevLine>& out) {
    out.clear();
    forEachLine(text, [&](std::string_view line) {
        // "  eth0: rx_bytes rx_packets ... (8 receive fields) tx_bytes ..."; the two header
        // lines have no counters after their colon-free or "|"-separated text.
        const size_t colon = line.rfind(':');
        if (colon == std::string_view::npos) return;
        const std::string_view name = trim(line.substr(0, colon));
        if (name.empty() || name.find('|') != std::string_view::npos) return;
        std::string_view rest = line.substr(colon + 1);
        uint64_t f[9] = {};
        size_t n = 0;
        while (n < 9) {
            const size_t b = rest.find_first_not_of(" \t");
            if (b == std::string_view::npos) break;
            rest.remove_prefix(b);
            const size_t e = rest.find_first_of(" \t");
            const auto v = parseUInt(rest.substr(0, e));
            if (!v) return;
            f[n++] = *v;
            if (e == std::string_view::npos) break;
            rest.remove_prefix(e);
        }
        if (n < 9) return;
        out.push_back({name, f[0], f[8]});
    });
}

LinuxNetworkSource::LinuxNetworkSource(std::string procRoot, std::string sysRoot)
    : sysRoot_(std::move(sysRoot)), dev_(procRoot + "/net/dev") {}

bool LinuxNetworkSource::isLoopback(std::string_view name) {
    auto it = std::find_if(known_.begin(), known_.end(), [&](const Known& k) { return k.name == name; });
    if (it != known_.end()) return it->loopback;
    Known k{std::string(name), false};
    // An interface that vanished before its flags could be read counts as non-loopback;
    // its counters are gone from the next tick anyway.
    PinnedFile flags(sysRoot_ + "/class/net/" + k.name + "/flags");
    if (flags.read(flagsBuf_, 64)) {
        const std::string_view hex = trim(flagsBuf_);
        uint64_t v = 0;
        bool ok = hex.size() > 2 && hex.substr(0, 2) == "0x";
        for (size_t i = 2; ok && i < hex.size(); ++i) {
            const char c = hex[i];
            const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            ok = d >= 0;
            v = v * 16 + static_cast<uint64_t>(d);
        }
        k.loopback = ok && (v & IFF_LOOPBACK) != 0;
    }
    known_.push_back(std::move(k));
    return known_.back().loopback;
}

bool LinuxNetworkSource::read(std::vector<InterfaceBytes>& out) {
    out.clear();
    if (!dev_.read(buf_, 1 << 20)) return false;
    // Interface names can be reused for different devices; forget the flags now and then.
    if (rescan_.due()) known_.clear();
    parseNetDev(buf_, lines_);
    for (const NetDevLine& l : lines_)
        out.push_back({l.received, l.sent, isLoopback(l.name)});
    return true;
}

}  // namespace velmora::platform
