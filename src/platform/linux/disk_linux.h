#pragma once

#include "platform/disk.h"
#include "platform/linux/file_util.h"

#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// Sums the sectors read and written by the named devices (sorted) in /proc/diskstats
// text; a line with too few fields is skipped. Sectors are always 512 bytes there.
void sumDiskStats(std::string_view text, const std::vector<std::string>& devices, DiskTotals& out);

// The system volume from statvfs(<volume>), and the bytes moved by the machine's physical
// disks. Only whole devices backed by hardware count (those with a "device" link under
// <sysRoot>/block): partitions, loop, ram and zram devices, and device-mapper and md
// devices, whose I/O already shows on their member disks, are left out, so a write is
// counted once.
class LinuxDiskSource : public DiskSource {
  public:
    explicit LinuxDiskSource(std::string procRoot = "/proc", std::string sysRoot = "/sys",
                             std::string volume = "/");
    bool volume(VolumeBlocks& out) override;
    bool totals(DiskTotals& out) override;

    const std::vector<std::string>& devices();

  private:
    void rescan();

    std::string sysRoot_;
    std::string volume_;
    linux_fs::PinnedFile diskstats_;
    linux_fs::RescanTimer rescan_;
    std::vector<std::string> names_;
    std::vector<std::string> devices_;  // sorted
    std::string buf_;
};

}  // namespace velmora::platform
