// One buffer of socket-diagnostics replies.
#include "platform/linux/sock_diag.h"

#include <netinet/in.h>

#include <cstring>
#include <vector>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte picks the family and the sequence number; the rest is the buffer,
    // copied to the alignment the receive buffer has.
    const uint8_t family = (data[0] & 1) ? AF_INET6 : AF_INET;
    const uint32_t seq = data[0] >> 1;
    std::vector<uint32_t> aligned((size - 1 + 3) / 4);
    if (size > 1) std::memcpy(aligned.data(), data + 1, size - 1);
    std::vector<platform::InetSocket> out;
    platform::SockDiag::walk(reinterpret_cast<const char*>(aligned.data()), size - 1, seq, family, out);
    return 0;
}
