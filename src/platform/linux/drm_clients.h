#pragma once

#include "platform/gpu.h"
#include "platform/linux/file_util.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// What the fdinfo of one DRM file descriptor says about its client.
struct DrmClientInfo {
    bool hasId = false;
    uint64_t id = 0;
    std::array<char, 32> pdev{};  // "" for devices that are not on PCI
    struct Engine {
        std::array<char, 24> name{};
        uint64_t busyNs = 0;
        uint32_t capacity = 1;
    };
    std::vector<Engine> engines;  // reused between parses
};

// Parses fdinfo text; false unless it names a DRM client (drm-client-id). Engine times
// are "drm-engine-<name>: <n> ns"; "drm-engine-capacity-<name>: <n>" says how many engines
// of that class exist. Other units and malformed lines are ignored.
bool parseDrmFdinfo(std::string_view text, DrmClientInfo& out);

// The DRM clients of the processes this user may inspect, with their engine busy times.
// Walking every process's descriptors is costly, so the walk is spread out: processes not
// seen before are looked at every few seconds, and again on each of those passes for the
// next half minute while they hold no DRM descriptor (a program often opens its GPU device
// a little after it starts); every process again every half minute. In between only the
// descriptors already known to be DRM clients are read.
class DrmClientScanner {
  public:
    explicit DrmClientScanner(std::string procRoot = "/proc");
    // Appends one EngineBusy per engine per distinct client to `out`.
    void read(std::vector<EngineBusy>& out);
    void read(std::vector<EngineBusy>& out, std::chrono::steady_clock::time_point now);
    // Forces a full walk on the next read.
    void invalidate();

  private:
    struct Holder {
        int32_t pid;
        int fd;
    };
    struct Scanned {
        int32_t pid;
        uint8_t rechecks;  // passes left on which a pid without DRM descriptors is looked at again
    };
    void scan(bool full);
    void scanPid(int32_t pid);
    bool holds(int32_t pid) const;

    std::string procRoot_;
    linux_fs::RescanTimer newPids_{std::chrono::seconds(3)};
    linux_fs::RescanTimer allPids_{std::chrono::seconds(30)};
    std::vector<Scanned> scanned_;  // sorted by pid
    std::vector<Scanned> next_;
    std::vector<int32_t> live_;
    std::vector<Holder> holders_;
    std::vector<std::string> names_;
    struct Seen {
        std::array<char, 32> pdev;
        uint64_t id;
    };
    std::vector<Seen> seen_;
    DrmClientInfo info_;
    std::string buf_;
    std::string path_;
};

}  // namespace velmora::platform
