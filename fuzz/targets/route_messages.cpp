// The routing socket's interface list.
#include "platform/route_messages.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<platform::InterfaceBytes> out;
    platform::decodeInterfaceList(data, size, out);
    return 0;
}
