#pragma once

#include "platform/linux/file_util.h"
#include "platform/memory.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// The fields of /proc/meminfo the memory figures need, in bytes.
struct MemInfo {
    uint64_t total = 0;
    uint64_t available = 0;
    uint64_t swapTotal = 0;
    uint64_t swapFree = 0;
    uint64_t zswap = 0;  // the zswap pool's own size
    bool hasAvailable = false;
};

// False unless MemTotal and MemAvailable are both present.
bool parseMemInfo(std::string_view text, MemInfo& out);

// Memory from <procRoot>/meminfo: used is MemTotal - MemAvailable, what the kernel could
// not hand out without swapping. The compressor is the zswap pool plus the memory every zram
// device under <sysRoot>/block uses (its mm_stat), both already part of that used figure.
class LinuxMemorySource : public MemorySource {
  public:
    explicit LinuxMemorySource(std::string procRoot = "/proc", std::string sysRoot = "/sys",
                               uint64_t pageSize = 0);
    uint64_t pageSize() const override { return pageSize_; }
    uint64_t totalBytes() const override { return total_; }
    bool read(MemoryPages& out) override;

  private:
    void rescanZram();

    std::string sysRoot_;
    linux_fs::PinnedFile meminfo_;
    std::vector<linux_fs::PinnedFile> zram_;
    linux_fs::RescanTimer rescan_;
    std::vector<std::string> names_;
    std::vector<std::string_view> fields_;
    std::string buf_;
    uint64_t pageSize_ = 0;
    uint64_t total_ = 0;
};

}  // namespace velmora::platform
