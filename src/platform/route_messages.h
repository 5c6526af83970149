#pragma once

#include "platform/network.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velmora::platform {

// Byte layout of the routing socket's interface-information message (if_msghdr2, 64-bit,
// in the machine's byte order); the Apple source checks it against the system headers.
namespace routeLayout {
inline constexpr size_t kLengthOffset = 0;          // 16-bit length of the whole message
inline constexpr size_t kTypeOffset = 3;            // 8-bit message type
inline constexpr size_t kInterfaceTypeOffset = 32;  // 8-bit interface type
inline constexpr size_t kReceivedOffset = 96;       // 64-bit bytes received
inline constexpr size_t kSentOffset = 104;          // 64-bit bytes sent
inline constexpr size_t kMinMessage = kSentOffset + 8;
inline constexpr uint8_t kInterfaceInfo2 = 18;  // RTM_IFINFO2
inline constexpr uint8_t kLoopbackType = 24;    // IFT_LOOP
}  // namespace routeLayout

// Decodes the interface list the BSD routing socket returns (a packed sequence of routing
// messages): one entry per interface-information message with its 64-bit byte counters
// and its loopback flag. The walk stops at a zero-length message or when fewer than
// kMinMessage bytes remain, so a truncated or corrupt buffer never reads past its end.
void decodeInterfaceList(const uint8_t* data, size_t length, std::vector<InterfaceBytes>& out);

// Reads a kernel table that may grow between asking for its size and reading it.
// `call(buffer, &size)` answers 0 or an errno value; with a null buffer it sets `size` to
// the table's size. A read refused with ENOMEM (the table outgrew the buffer) starts over
// with a fresh size, up to kTableReadTries times. On success `buffer` holds the table and
// `length` its size; `buffer` keeps its capacity for the next read.
inline constexpr int kTableReadTries = 4;
bool readGrowingTable(const std::function<int(void* buffer, size_t* size)>& call,
                      std::vector<uint8_t>& buffer, size_t& length);

}  // namespace velmora::platform
