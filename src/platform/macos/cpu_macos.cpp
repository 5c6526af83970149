// Processor ticks and performance levels from Mach and sysctl.
#include "platform/cpu.h"

#include <mach/mach.h>
#include <sys/sysctl.h>

#include <vector>

namespace velmora::platform {

namespace {

class MachCpuTickSource : public CpuTickSource {
  public:
    bool read(std::vector<CpuCoreTicks>& out) override {
        natural_t count = 0;
        processor_info_array_t info = nullptr;
        mach_msg_type_number_t infoCount = 0;
        if (host_processor_info(mach_host_self(), PROCESSOR_CPU_LOAD_INFO, &count, &info, &infoCount) !=
            KERN_SUCCESS)
            return false;
        if (!info) return false;
        out.clear();
        out.reserve(count);
        for (natural_t i = 0; i < count; ++i) {
            const integer_t* t = info + CPU_STATE_MAX * i;
            out.push_back(
                {static_cast<uint32_t>(t[CPU_STATE_USER]), static_cast<uint32_t>(t[CPU_STATE_SYSTEM]),
                 static_cast<uint32_t>(t[CPU_STATE_IDLE]), static_cast<uint32_t>(t[CPU_STATE_NICE])});
        }
        vm_deallocate(mach_task_self(), reinterpret_cast<vm_address_t>(info),
                      static_cast<vm_size_t>(infoCount) * sizeof(integer_t));
        return true;
    }
};

class SysctlTopologyFacts : public TopologyFacts {
  public:
    std::optional<int64_t> intValue(const std::string& name) override {
        size_t size = 0;
        if (sysctlbyname(name.c_str(), nullptr, &size, nullptr, 0) != 0 || size < 1) return std::nullopt;
        if (size == 4) {
            int32_t v = 0;
            size = sizeof v;
            if (sysctlbyname(name.c_str(), &v, &size, nullptr, 0) != 0) return std::nullopt;
            return v;
        }
        int64_t v = 0;
        size = sizeof v;
        if (sysctlbyname(name.c_str(), &v, &size, nullptr, 0) != 0) return std::nullopt;
        return v;
    }

    std::optional<std::string> stringValue(const std::string& name) override {
        size_t size = 0;
        if (sysctlbyname(name.c_str(), nullptr, &size, nullptr, 0) != 0 || size < 1) return std::nullopt;
        std::vector<char> buf(size + 1, 0);
        if (sysctlbyname(name.c_str(), buf.data(), &size, nullptr, 0) != 0) return std::nullopt;
        return std::string(buf.data());
    }
};

}  // namespace

std::unique_ptr<CpuTickSource> makeCpuTickSource() {
    return std::make_unique<MachCpuTickSource>();
}
CoreLayout readCoreLayout() {
    SysctlTopologyFacts facts;
    return coreLayoutFromFacts(facts);
}

}  // namespace velmora::platform
