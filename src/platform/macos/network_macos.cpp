// Interface byte counters from the routing socket's interface list.
#include "platform/network.h"
#include "platform/route_messages.h"

#include <net/route.h>
#include <sys/socket.h>
#include <sys/sysctl.h>

#include <algorithm>
#include <vector>

namespace velmora::platform {

namespace {

class RouteNetworkSource : public NetworkSource {
  public:
    bool read(std::vector<InterfaceBytes>& out) override {
        out.clear();
        int mib[6] = {CTL_NET, PF_ROUTE, 0, 0, NET_RT_IFLIST2, 0};
        size_t size = 0;
        if (sysctl(mib, 6, nullptr, &size, nullptr, 0) != 0 || size < 1) return false;
        buf_.assign(size, 0);
        if (sysctl(mib, 6, buf_.data(), &size, nullptr, 0) != 0) return false;
        decodeInterfaceList(buf_.data(), std::min(size, buf_.size()), out);
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
