#pragma once

#include "platform/network.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::platform {

// Decodes the interface list the BSD routing socket returns (a packed sequence of routing
// messages in the machine's byte order): one entry per interface-information message
// (type 18) with its 64-bit byte counters; interface type 24 is loopback. The walk stops at
// a zero-length message or when fewer than 112 bytes remain, so a truncated or corrupt
// buffer never reads past its end.
void decodeInterfaceList(const uint8_t* data, size_t length, std::vector<InterfaceBytes>& out);

}  // namespace velmora::platform
