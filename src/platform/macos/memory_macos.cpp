// Memory from the Mach virtual-memory statistics and the swap usage sysctl.
#include "platform/memory.h"

#include <mach/mach.h>
#include <sys/sysctl.h>

#include <cstring>

namespace velmora::platform {

namespace {

class MachMemorySource : public MemorySource {
  public:
    MachMemorySource() {
        vm_size_t ps = 0;
        if (host_page_size(mach_host_self(), &ps) == KERN_SUCCESS) pageSize_ = ps;
        uint64_t mem = 0;
        size_t size = sizeof mem;
        if (sysctlbyname("hw.memsize", &mem, &size, nullptr, 0) == 0) total_ = mem;
    }

    uint64_t pageSize() const override { return pageSize_; }
    uint64_t totalBytes() const override { return total_; }

    bool read(MemoryPages& out) override {
        // A generously sized, zeroed buffer: newer kernels may return more fields.
        alignas(8) integer_t words[62] = {};
        mach_msg_type_number_t count = 62;
        if (host_statistics64(mach_host_self(), HOST_VM_INFO64, reinterpret_cast<host_info64_t>(words),
                              &count) != KERN_SUCCESS)
            return false;
        vm_statistics64_data_t vm;
        static_assert(sizeof vm <= sizeof words);
        std::memcpy(&vm, words, sizeof vm);
        out.used = static_cast<uint64_t>(vm.active_count) + vm.wire_count;
        out.compressor = vm.compressor_page_count;

        // A failed read leaves the zeroed record: no swap in use.
        xsw_usage swap{};
        size_t size = sizeof swap;
        sysctlbyname("vm.swapusage", &swap, &size, nullptr, 0);
        out.swapUsedBytes = swap.xsu_used;
        return true;
    }

  private:
    uint64_t pageSize_ = 0;
    uint64_t total_ = 0;
};

}  // namespace

std::unique_ptr<MemorySource> makeMemorySource() {
    return std::make_unique<MachMemorySource>();
}

}  // namespace velmora::platform
