#include "platform/route_messages.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace velmora::platform {

namespace {

using namespace routeLayout;

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
        const uint16_t size = load<uint16_t>(m + kLengthOffset);
        if (size == 0) break;
        if (m[kTypeOffset] == kInterfaceInfo2)
            out.push_back({load<uint64_t>(m + kReceivedOffset), load<uint64_t>(m + kSentOffset),
                           m[kInterfaceTypeOffset] == kLoopbackType});
        offset += size;
    }
}

bool readGrowingTable(const std::function<int(void* buffer, size_t* size)>& call,
                      std::vector<uint8_t>& buffer, size_t& length) {
    for (int attempt = 0; attempt < kTableReadTries; ++attempt) {
        size_t size = 0;
        if (call(nullptr, &size) != 0 || size < 1) return false;
        buffer.assign(size, 0);
        const int error = call(buffer.data(), &size);
        if (error == ENOMEM) continue;
        if (error != 0) return false;
        length = std::min(size, buffer.size());
        return true;
    }
    return false;
}

}  // namespace velmora::platform
