#include "platform/route_messages.h"

#include <cstring>

namespace velmora::platform {

namespace {

constexpr size_t kMinMessage = 112;
constexpr uint8_t kInterfaceInfo2 = 18;
constexpr uint8_t kLoopbackType = 24;
constexpr size_t kTypeOffset = 3;
constexpr size_t kInterfaceTypeOffset = 32;
constexpr size_t kReceivedOffset = 96;
constexpr size_t kSentOffset = 104;

template <typename T>
T load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

void decodeInterfaceList(const uint8_t* data, size_t length, std::vector<InterfaceBytes>& out) {
    out.clear();
    size_t offset = 0;
    while (offset < length && length - offset >= kMinMessage) {
        const uint8_t* m = data + offset;
        const uint16_t size = load<uint16_t>(m);
        if (size == 0) break;
        if (m[kTypeOffset] == kInterfaceInfo2)
            out.push_back({load<uint64_t>(m + kReceivedOffset), load<uint64_t>(m + kSentOffset),
                           m[kInterfaceTypeOffset] == kLoopbackType});
        offset += size;
    }
}

}  // namespace velmora::platform
