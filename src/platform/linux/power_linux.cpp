#include "platform/linux/power_linux.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace velmora::platform {

using namespace linux_fs;

namespace {

constexpr auto kMaxGap = std::chrono::seconds(30);

bool isGpuChip(const std::string& name) {
    return name == "amdgpu" || name == "radeon" || name == "nouveau" || name == "i915" || name == "xe";
}

std::optional<uint64_t> readUnsigned(PinnedFile& f, std::string& buf) {
    const auto v = f.readInt(buf);
    if (!v || *v < 0) return std::nullopt;
    return static_cast<uint64_t>(*v);
}

}  // namespace

std::optional<double> EnergyRate::update(uint64_t microjoules, std::optional<uint64_t> maxRange,
                                         std::chrono::steady_clock::time_point now) {
    const std::optional<uint64_t> prev = prev_;
    const auto prevTime = prevTime_;
    prev_ = microjoules;
    prevTime_ = now;
    if (!prev) return std::nullopt;
    const double dt = std::chrono::duration<double>(now - prevTime).count();
    if (dt <= 0 || now - prevTime > kMaxGap) return std::nullopt;
    uint64_t delta;
    if (microjoules >= *prev) {
        delta = microjoules - *prev;
    } else if (maxRange && *maxRange >= *prev) {
        // The counter wrapped at its range and started again from 0.
        delta = (*maxRange - *prev) + microjoules;
    } else {
        return std::nullopt;
    }
    return static_cast<double>(delta) / 1e6 / dt;
}

PowerReaders::PowerReaders(std::string sysRoot) : sysRoot_(std::move(sysRoot)) {
    rescan();
}

void PowerReaders::rescan() {
    packages_.clear();
    gpus_.clear();
    const std::string powercap = sysRoot_ + "/class/powercap/";
    if (listDir(powercap, names_)) {
        for (const std::string& zone : names_) {
            // "intel-rapl:0" is a package; "intel-rapl:0:1" a part of it. AMD processors
            // publish the same interface under the same name.
            if (zone.rfind("intel-rapl:", 0) != 0 || zone.find(':') != zone.rfind(':')) continue;
            const std::string base = powercap + zone + "/";
            const auto name = readTrimmed(base + "name");
            if (!name || name->rfind("package", 0) != 0) continue;
            Counter c{PinnedFile(base + "energy_uj"), std::nullopt, {}};
            if (const auto range = readInt(base + "max_energy_range_uj"); range && *range > 0)
                c.maxRange = static_cast<uint64_t>(*range);
            packages_.push_back(std::move(c));
        }
    }
    const std::string hwmon = sysRoot_ + "/class/hwmon/";
    if (listDir(hwmon, names_)) {
        for (const std::string& chip : names_) {
            const std::string base = hwmon + chip + "/";
            if (!isGpuChip(readTrimmed(base + "name").value_or(""))) continue;
            Gpu g;
            g.power = PinnedFile::ifExists(base + "power1_average");
            if (!g.power.exists()) g.power = PinnedFile::ifExists(base + "power1_input");
            g.hasPower = g.power.exists();
            if (!g.hasPower) {
                g.energy.energy = PinnedFile::ifExists(base + "energy1_input");
                if (!g.energy.energy.exists()) continue;
            }
            gpus_.push_back(std::move(g));
        }
    }
}

std::optional<double> PowerReaders::cpuWatts(std::chrono::steady_clock::time_point now) {
    std::optional<double> total;
    for (Counter& c : packages_) {
        const auto uj = readUnsigned(c.energy, buf_);
        if (!uj) return std::nullopt;  // root only: a partial sum would mislead
        const auto w = c.rate.update(*uj, c.maxRange, now);
        if (!w) return std::nullopt;
        total = total.value_or(0) + *w;
    }
    return total;
}

std::optional<double> PowerReaders::gpuWatts(std::chrono::steady_clock::time_point now) {
    std::optional<double> total;
    for (Gpu& g : gpus_) {
        std::optional<double> w;
        if (g.hasPower) {
            if (const auto uw = readUnsigned(g.power, buf_)) w = static_cast<double>(*uw) / 1e6;
        } else if (const auto uj = readUnsigned(g.energy.energy, buf_)) {
            w = g.energy.rate.update(*uj, std::nullopt, now);
        }
        if (w) total = total.value_or(0) + *w;
    }
    return total;
}

QByteArray powerJson(double ts, std::optional<double> cpuW, std::optional<double> gpuW) {
    QJsonObject o{{"ts", ts}};
    if (cpuW) o.insert("cpu_power_w", *cpuW);
    if (gpuW) o.insert("gpu_power_w", *gpuW);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

bool writeFileAtomically(const std::string& path, const QByteArray& bytes) {
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, 0644) == 0;
    const char* p = bytes.constData();
    size_t left = static_cast<size_t>(bytes.size());
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

}  // namespace velmora::platform
