#pragma once

#include "core/snapshot.h"
#include "platform/fans.h"

#include <memory>
#include <vector>

namespace velmora {

// One FanInfo per readable fan, in fan order.
class FanSampler {
  public:
    static constexpr int kMaxFans = 15;

    explicit FanSampler(std::unique_ptr<platform::FanSource> source);

    std::vector<FanInfo> sample();
    int count() const { return count_; }

  private:
    std::unique_ptr<platform::FanSource> source_;
    int count_ = 0;  // fixed at creation: a machine without readable fans never asks again
};

}  // namespace velmora
