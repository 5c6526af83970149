// /proc/<pid>/status.
#include "fuzz_input.h"
#include "platform/linux/process_facts_linux.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::LinuxProcessFacts::parseStatusUid(fuzz::text(data, size));
    return 0;
}
