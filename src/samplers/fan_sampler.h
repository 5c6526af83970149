#pragma once

#include "core/snapshot.h"

#include <functional>
#include <vector>

namespace velmora {

// The fan controller's readings, by default the low-level smc_fan_* functions; each value
// is -1 when unreadable.
struct FanAccess {
    std::function<int()> count;
    std::function<float(int)> rpm;
    std::function<float(int)> target;
    std::function<float(int)> min;
    std::function<float(int)> max;

    static FanAccess smc();
};

// One FanInfo per readable fan, in fan order.
class FanSampler {
  public:
    static constexpr int kMaxFans = 15;

    FanSampler();
    explicit FanSampler(FanAccess access);

    std::vector<FanInfo> sample();
    int count() const { return count_; }

  private:
    FanAccess access_;
    int count_ = 0;  // fixed at creation: a machine without readable fans never asks again
};

}  // namespace velmora
