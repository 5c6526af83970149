// /proc/diskstats.
#include "fuzz_input.h"
#include "platform/linux/disk_linux.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<std::string> devices = {"mmcblk0", "nvme0n1", "sda", "vda"};
    platform::DiskTotals totals;
    platform::sumDiskStats(fuzz::text(data, size), devices, totals);
    return 0;
}
