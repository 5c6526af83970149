#pragma once

#include "platform/battery.h"
#include "platform/linux/file_util.h"

#include <string>
#include <vector>

namespace velmora::platform {

// Raw attributes of one system battery under /sys/class/power_supply, in the kernel's
// units (µWh, µAh, µW, µA, seconds, percent).
struct SupplyBattery {
    std::string status;  // "Charging", "Discharging", "Full", "Not charging", "Unknown"
    std::optional<int64_t> energyNow, energyFull, energyFullDesign, powerNow;
    std::optional<int64_t> chargeNow, chargeFull, chargeFullDesign, currentNow;
    std::optional<int64_t> capacity, timeToEmptyNow, timeToFullNow, cycleCount;
};

// Builds the power-source description and battery-controller properties from the system
// batteries (several batteries count as one, as a laptop with two packs shows them) and
// whether any mains supply (`mainsOnline`; absent when the machine has no mains supply at
// all) is online.
void describeBatteries(const std::vector<SupplyBattery>& batteries, std::optional<bool> mainsOnline,
                       BatteryReading& out);

// Batteries and mains from <sysRoot>/class/power_supply. A system battery has type
// "Battery" and a scope other than "Device", so a wireless mouse's battery does not count.
// Mains is any "Mains" or USB supply that is online.
class PowerSupplyBatterySource : public BatterySource {
  public:
    explicit PowerSupplyBatterySource(std::string sysRoot = "/sys");
    void read(BatteryReading& out) override;

  private:
    struct Files {
        linux_fs::PinnedFile status, energyNow, energyFull, energyFullDesign, powerNow, chargeNow, chargeFull,
            chargeFullDesign, currentNow, capacity, timeToEmptyNow, timeToFullNow, cycleCount;
    };
    void rescan();

    std::string sysRoot_;
    linux_fs::RescanTimer rescan_;
    std::vector<Files> batteries_;
    std::vector<linux_fs::PinnedFile> mains_;
    std::vector<SupplyBattery> readings_;
    std::vector<std::string> names_;
    std::string buf_;
};

}  // namespace velmora::platform
