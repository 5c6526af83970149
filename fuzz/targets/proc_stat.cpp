// /proc/stat: per-core ticks and the boot time.
#include "fuzz_input.h"
#include "platform/linux/cpu_linux.h"
#include "platform/linux/process_facts_linux.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view t = fuzz::text(data, size);
    std::vector<platform::CpuCoreTicks> ticks;
    std::vector<int> ids;
    platform::LinuxCpuTickSource::parse(t, ticks, &ids);
    platform::LinuxProcessFacts::parseBootTime(t);
    return 0;
}
