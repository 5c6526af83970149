#pragma once

#include "platform/fans.h"
#include "platform/linux/file_util.h"

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform {

// The hardware-monitoring chips under <sysRoot>/class/hwmon, listed with their attribute
// files. The temperature and fan readers share one listing, so the chips are walked once per
// rescan however many readers look at them. Chips renumber when a driver reloads, so the
// listing is taken again every few seconds. Not thread-safe: it belongs, with its readers,
// to the thread that samples them.
class HwmonChips {
  public:
    struct Chip {
        unsigned number = 0;             // N of hwmonN
        std::string path;                // ".../class/hwmon/hwmonN/"
        std::string name;                // the driver's name for the chip ("coretemp"), else "hwmonN"
        std::vector<std::string> files;  // the chip's attribute files, sorted
    };

    explicit HwmonChips(std::string sysRoot = "/sys",
                        std::chrono::steady_clock::duration rescanInterval = std::chrono::seconds(3));

    // Lists the chips again when the rescan interval has passed (and on the first call).
    // Returns the listing's generation: it changes with every listing, so a reader rebuilds
    // its files whenever the generation differs from the one it built them from.
    uint64_t refresh(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());

    const std::vector<Chip>& chips() const { return chips_; }
    // False when the hwmon folder itself could not be listed.
    bool listed() const { return listed_; }
    const std::string& sysRoot() const { return sysRoot_; }

  private:
    std::string sysRoot_;
    linux_fs::RescanTimer rescan_;
    std::vector<Chip> chips_;
    bool listed_ = false;
    uint64_t generation_ = 0;
    std::vector<std::string> names_;
};

// Fans from the hwmon chips: every fan<N>_input of every chip, in chip order and then fan
// order, with its fan<N>_target, _min and _max where the chip has them. A fan without an
// input file is not a fan.
class HwmonFanSource : public FanSource {
  public:
    explicit HwmonFanSource(std::shared_ptr<HwmonChips> chips);
    int count() override;
    FanSpeeds read(int fan) override;

  private:
    struct Fan {
        // input, target, min, max; a file the chip lacks stays unopened and reads as -1.
        std::array<linux_fs::PinnedFile, 4> files;
    };
    void rebuildIfRescanned();
    float value(linux_fs::PinnedFile& file);

    std::shared_ptr<HwmonChips> chips_;
    uint64_t builtFrom_ = 0;
    std::vector<Fan> fans_;
    std::string buf_;
};

// "fan3_input" with prefix "fan" and suffix "_input" gives 3; anything else nothing.
std::optional<unsigned> hwmonIndex(std::string_view file, std::string_view prefix, std::string_view suffix);

}  // namespace velmora::platform
