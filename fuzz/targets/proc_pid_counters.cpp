// The small per-process counter files: statm, io and schedstat. Each parser sees every
// input, so one corpus serves all three.
#include "fuzz_input.h"
#include "platform/linux/process_linux.h"

using namespace velmora;
using platform::LinuxProcessSource;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view t = fuzz::text(data, size);
    uint64_t a = 0, b = 0;
    LinuxProcessSource::parseStatm(t, a, b);
    LinuxProcessSource::parseIo(t, a, b);
    LinuxProcessSource::parseSchedstat(t, a);
    return 0;
}
