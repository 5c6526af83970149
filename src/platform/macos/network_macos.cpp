// Interface byte counters from the routing socket's interface list.
#include "platform/network.h"
#include "platform/route_messages.h"

#include <net/if.h>
#include <net/if_types.h>
#include <net/route.h>
#include <sys/socket.h>
#include <sys/sysctl.h>

#include <cerrno>
#include <cstddef>
#include <vector>

namespace velmora::platform {

namespace {

// The portable decoder reads the messages by offset; the headers must agree.
namespace L = routeLayout;
static_assert(offsetof(if_msghdr2, ifm_msglen) == L::kLengthOffset && sizeof(if_msghdr2::ifm_msglen) == 2);
static_assert(offsetof(if_msghdr2, ifm_type) == L::kTypeOffset && sizeof(if_msghdr2::ifm_type) == 1);
static_assert(offsetof(if_msghdr2, ifm_data.ifi_type) == L::kInterfaceTypeOffset &&
              sizeof(if_msghdr2::ifm_data.ifi_type) == 1);
static_assert(offsetof(if_msghdr2, ifm_data.ifi_ibytes) == L::kReceivedOffset &&
              sizeof(if_msghdr2::ifm_data.ifi_ibytes) == 8);
static_assert(offsetof(if_msghdr2, ifm_data.ifi_obytes) == L::kSentOffset &&
              sizeof(if_msghdr2::ifm_data.ifi_obytes) == 8);
static_assert(sizeof(if_msghdr2) >= L::kMinMessage);
static_assert(RTM_IFINFO2 == L::kInterfaceInfo2 && IFT_LOOP == L::kLoopbackType);

class RouteNetworkSource : public NetworkSource {
  public:
    bool read(std::vector<InterfaceBytes>& out) override {
        out.clear();
        size_t length = 0;
        const bool ok = readGrowingTable(
            [](void* buffer, size_t* size) {
                int mib[6] = {CTL_NET, PF_ROUTE, 0, 0, NET_RT_IFLIST2, 0};
                return sysctl(mib, 6, buffer, size, nullptr, 0) == 0 ? 0 : errno;
            },
            buf_, length);
        if (!ok) return false;
        decodeInterfaceList(buf_.data(), length, out);
        return true;
    }

  private:
    std::vector<uint8_t> buf_;
};

}  // namespace

std::unique_ptr<NetworkSource> makeNetworkSource() {
    return std::make_unique<RouteNetworkSource>();
}

}  // namespace velmora::platform
