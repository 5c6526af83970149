#pragma once

#include "platform/linux/file_util.h"
#include "platform/network.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// One interface line of /proc/net/dev.
struct NetDevLine {
    std::string_view name;
    uint64_t received = 0;
    uint64_t sent = 0;
};

// The well-formed interface lines of /proc/net/dev text; malformed ones are skipped.
void parseNetDev(std::string_view text, std::vector<NetDevLine>& out);

// Byte counters of every interface from <procRoot>/net/dev. Loopback is told by the
// interface's IFF_LOOPBACK flag (<sysRoot>/class/net/<name>/flags), not by its name; the
// flags are read when an interface is first seen and refreshed every few seconds.
class LinuxNetworkSource : public NetworkSource {
  public:
    explicit LinuxNetworkSource(std::string procRoot = "/proc", std::string sysRoot = "/sys");
    bool read(std::vector<InterfaceBytes>& out) override;

  private:
    struct Known {
        std::string name;
        bool loopback = false;
    };
    bool isLoopback(std::string_view name);

    std::string sysRoot_;
    linux_fs::PinnedFile dev_;
    linux_fs::RescanTimer rescan_;
    std::vector<Known> known_;
    std::vector<NetDevLine> lines_;
    std::string buf_;
    std::string flagsBuf_;
};

}  // namespace velmora::platform
