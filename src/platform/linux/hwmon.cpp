#include "platform/linux/hwmon.h"

#include "platform/linux/hwmon_temperatures.h"

#include <algorithm>

namespace velmora::platform {

using namespace linux_fs;

namespace {

// The fan functions report at most this many fans, as a fan controller's count byte does.
constexpr size_t kMaxFans = 255;
// Chip and sensor numbers beyond this are not a driver's; a name such as "hwmon99999999999"
// is skipped rather than wrapped.
constexpr uint64_t kMaxIndex = 100000;

constexpr std::array<std::string_view, 4> kFanFiles = {"_input", "_target", "_min", "_max"};

}  // namespace

SensorSources makeSensorSources() {
    auto chips = std::make_shared<HwmonChips>();
    return {std::make_unique<HwmonTemperatureSource>(chips), std::make_unique<HwmonFanSource>(chips)};
}

std::optional<unsigned> hwmonIndex(std::string_view file, std::string_view prefix, std::string_view suffix) {
    if (file.size() <= prefix.size() + suffix.size() || !file.starts_with(prefix) || !file.ends_with(suffix))
        return std::nullopt;
    const std::string_view digits = file.substr(prefix.size(), file.size() - prefix.size() - suffix.size());
    if (digits.size() > 6 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;  // no sign, no space, no number beyond a driver's
    const auto n = parseUInt(digits);
    if (!n || *n > kMaxIndex) return std::nullopt;
    return static_cast<unsigned>(*n);
}

HwmonChips::HwmonChips(std::string sysRoot, std::chrono::steady_clock::duration rescanInterval)
    : sysRoot_(std::move(sysRoot)), rescan_(rescanInterval) {}

uint64_t HwmonChips::refresh(std::chrono::steady_clock::time_point now) {
    if (!rescan_.due(now)) return generation_;
    ++generation_;
    chips_.clear();
    const std::string hwmon = sysRoot_ + "/class/hwmon/";
    listed_ = listDir(hwmon, names_);
    for (const std::string& dir : names_) {
        const auto number = hwmonIndex(dir, "hwmon", "");
        if (!number) continue;
        Chip chip;
        chip.number = *number;
        chip.path = hwmon + dir + "/";
        if (!listDir(chip.path, chip.files)) continue;  // a chip that vanished while we looked
        chip.name = readTrimmed(chip.path + "name").value_or(dir);
        chips_.push_back(std::move(chip));
    }
    std::sort(chips_.begin(), chips_.end(), [](const Chip& a, const Chip& b) { return a.number < b.number; });
    return generation_;
}

HwmonFanSource::HwmonFanSource(std::shared_ptr<HwmonChips> chips) : chips_(std::move(chips)) {}

void HwmonFanSource::rebuildIfRescanned() {
    const uint64_t generation = chips_->refresh();
    if (generation == builtFrom_) return;
    builtFrom_ = generation;
    fans_.clear();
    std::vector<unsigned> numbers;
    for (const HwmonChips::Chip& chip : chips_->chips()) {
        numbers.clear();
        for (const std::string& f : chip.files)
            if (const auto n = hwmonIndex(f, "fan", "_input")) numbers.push_back(*n);
        std::sort(numbers.begin(), numbers.end());  // fan10 after fan9, not after fan1
        for (unsigned n : numbers) {
            if (fans_.size() == kMaxFans) return;
            Fan fan;
            const std::string stem = "fan" + std::to_string(n);
            for (size_t k = 0; k < kFanFiles.size(); ++k) {
                std::string file = stem + std::string(kFanFiles[k]);
                // The listing says which limits the chip has, so a missing one costs no open.
                if (std::binary_search(chip.files.begin(), chip.files.end(), file))
                    fan.files[k] = PinnedFile(chip.path + file);
            }
            fans_.push_back(std::move(fan));
        }
    }
}

int HwmonFanSource::count() {
    rebuildIfRescanned();
    return chips_->listed() ? static_cast<int>(fans_.size()) : -1;
}

float HwmonFanSource::value(PinnedFile& file) {
    // A read error (EIO or ENODATA while a device sleeps) reopens the file next time.
    const auto v = file.readInt(buf_);
    return v && *v >= 0 ? static_cast<float>(*v) : -1.0f;
}

FanSpeeds HwmonFanSource::read(int fan) {
    rebuildIfRescanned();
    FanSpeeds s;
    if (fan < 0 || static_cast<size_t>(fan) >= fans_.size()) return s;
    Fan& f = fans_[static_cast<size_t>(fan)];
    s.rpm = value(f.files[0]);
    if (s.rpm < 0) return s;
    s.target = value(f.files[1]);
    s.min = value(f.files[2]);
    s.max = value(f.files[3]);
    return s;
}

}  // namespace velmora::platform
