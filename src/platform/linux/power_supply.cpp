#include "platform/linux/power_supply.h"

#include <cmath>
#include <limits>

namespace velmora::platform {

using namespace linux_fs;

std::unique_ptr<BatterySource> makeBatterySource() {
    return std::make_unique<PowerSupplyBatterySource>();
}

namespace {

// Sum of one attribute over all batteries, only when every battery has it. A sum past
// 64 bits comes from a broken attribute and counts as missing.
template <typename Field>
std::optional<int64_t> total(const std::vector<SupplyBattery>& bs, Field field) {
    int64_t sum = 0;
    for (const SupplyBattery& b : bs) {
        const std::optional<int64_t>& v = b.*field;
        if (!v || *v < 0 || *v > std::numeric_limits<int64_t>::max() - sum) return std::nullopt;
        sum += *v;
    }
    return sum;
}

std::optional<int64_t> minutes(double amount, double perHour) {
    if (!(perHour > 0) || !(amount >= 0)) return std::nullopt;
    const double m = std::round(amount / perHour * 60.0);
    if (!(m < 1e7)) return std::nullopt;  // a rate near zero is no estimate
    return static_cast<int64_t>(m);
}

}  // namespace

void describeBatteries(const std::vector<SupplyBattery>& bs, std::optional<bool> mainsOnline,
                       BatteryReading& out) {
    out = {};
    if (bs.empty()) return;

    bool charging = false, discharging = false, onMains = false;
    for (const SupplyBattery& b : bs) {
        charging |= b.status == "Charging";
        discharging |= b.status == "Discharging";
        onMains |= b.status == "Charging" || b.status == "Full" || b.status == "Not charging";
    }

    PowerSourceDescription d;
    // Energy when every battery reports it, else charge, else the kernel's own percentage.
    std::optional<int64_t> now = total(bs, &SupplyBattery::energyNow);
    std::optional<int64_t> full = total(bs, &SupplyBattery::energyFull);
    std::optional<int64_t> rate = total(bs, &SupplyBattery::powerNow);
    if (!now || !full) {
        now = total(bs, &SupplyBattery::chargeNow);
        full = total(bs, &SupplyBattery::chargeFull);
        rate = total(bs, &SupplyBattery::currentNow);
    }
    if (now && full) {
        d.currentCapacity = now;
        d.maxCapacity = full;
    } else if (bs.front().capacity) {
        d.currentCapacity = bs.front().capacity;
        d.maxCapacity = 100;
    }
    d.isCharging = charging;
    // Without any mains supply node, a battery that charges or holds full is on mains.
    d.powerSourceState = mainsOnline.value_or(onMains) ? "AC Power" : "Battery Power";

    if (discharging) {
        if (const auto s = total(bs, &SupplyBattery::timeToEmptyNow); s && bs.size() == 1)
            d.timeToEmpty = *s / 60;
        else if (now && rate)
            d.timeToEmpty = minutes(static_cast<double>(*now), static_cast<double>(*rate));
    } else if (charging) {
        if (const auto s = total(bs, &SupplyBattery::timeToFullNow); s && bs.size() == 1)
            d.timeToFullCharge = *s / 60;
        else if (now && full && rate && *full >= *now)
            d.timeToFullCharge = minutes(static_cast<double>(*full - *now), static_cast<double>(*rate));
    }
    out.powerSource = d;

    const SupplyBattery& first = bs.front();
    BatteryController c;
    c.cycleCount = first.cycleCount;
    if (first.energyFull && first.energyFullDesign) {
        c.designCapacity = first.energyFullDesign;
        c.appleRawMaxCapacity = first.energyFull;
    } else if (first.chargeFull && first.chargeFullDesign) {
        c.designCapacity = first.chargeFullDesign;
        c.appleRawMaxCapacity = first.chargeFull;
    }
    out.controller = c;
}

PowerSupplyBatterySource::PowerSupplyBatterySource(std::string sysRoot) : sysRoot_(std::move(sysRoot)) {}

void PowerSupplyBatterySource::rescan() {
    batteries_.clear();
    mains_.clear();
    const std::string dir = sysRoot_ + "/class/power_supply/";
    if (!listDir(dir, names_)) return;
    for (const std::string& name : names_) {
        const std::string base = dir + name + "/";
        const auto type = readTrimmed(base + "type");
        if (!type) continue;
        const auto scope = readTrimmed(base + "scope");
        if (scope && *scope == "Device") continue;  // a peripheral's own battery
        if (*type == "Battery") {
            auto f = [&](const char* attr) { return PinnedFile::ifExists(base + attr); };
            batteries_.push_back({f("status"), f("energy_now"), f("energy_full"), f("energy_full_design"),
                                  f("power_now"), f("charge_now"), f("charge_full"), f("charge_full_design"),
                                  f("current_now"), f("capacity"), f("time_to_empty_now"),
                                  f("time_to_full_now"), f("cycle_count")});
        } else if (*type == "Mains" || type->rfind("USB", 0) == 0) {
            mains_.emplace_back(base + "online");
        }
    }
}

void PowerSupplyBatterySource::read(BatteryReading& out) {
    if (rescan_.due()) rescan();
    readings_.resize(batteries_.size());
    for (size_t i = 0; i < batteries_.size(); ++i) {
        Files& f = batteries_[i];
        SupplyBattery& b = readings_[i];
        b.status.assign(f.status.read(buf_, 256) ? trim(buf_) : std::string_view{});
        b.energyNow = f.energyNow.readInt(buf_);
        b.energyFull = f.energyFull.readInt(buf_);
        b.energyFullDesign = f.energyFullDesign.readInt(buf_);
        b.powerNow = f.powerNow.readInt(buf_);
        b.chargeNow = f.chargeNow.readInt(buf_);
        b.chargeFull = f.chargeFull.readInt(buf_);
        b.chargeFullDesign = f.chargeFullDesign.readInt(buf_);
        b.currentNow = f.currentNow.readInt(buf_);
        b.capacity = f.capacity.readInt(buf_);
        b.timeToEmptyNow = f.timeToEmptyNow.readInt(buf_);
        b.timeToFullNow = f.timeToFullNow.readInt(buf_);
        b.cycleCount = f.cycleCount.readInt(buf_);
        // Some drivers report the discharge rate as a negative current or power.
        if (b.powerNow) b.powerNow = std::abs(*b.powerNow);
        if (b.currentNow) b.currentNow = std::abs(*b.currentNow);
    }
    std::optional<bool> mains;
    for (PinnedFile& m : mains_) {
        const auto online = m.readInt(buf_);
        mains = mains.value_or(false) || (online && *online >= 1);
    }
    describeBatteries(readings_, mains, out);
}

}  // namespace velmora::platform
