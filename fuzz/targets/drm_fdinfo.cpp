// The fdinfo of a DRM file descriptor.
#include "fuzz_input.h"
#include "platform/linux/drm_clients.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Reused between parses in the program, so here too.
    static platform::DrmClientInfo info;
    platform::parseDrmFdinfo(fuzz::text(data, size), info);
    return 0;
}
