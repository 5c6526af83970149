// /proc/meminfo.
#include "fuzz_input.h"
#include "platform/linux/memory_linux.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::MemInfo info;
    platform::parseMemInfo(fuzz::text(data, size), info);
    return 0;
}
