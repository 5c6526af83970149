// /proc/net/dev.
#include "fuzz_input.h"
#include "platform/linux/network_linux.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<platform::NetDevLine> lines;
    platform::parseNetDev(fuzz::text(data, size), lines);
    return 0;
}
