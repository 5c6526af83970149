#include "platform/linux/disk_linux.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>

namespace velmora::platform {

using namespace linux_fs;

std::unique_ptr<DiskSource> makeDiskSource() {
    return std::make_unique<LinuxDiskSource>();
}

void sumDiskStats(std::string_view text, const std::vector<std::string>& devices, DiskTotals& out) {
    out = {};
    forEachLine(text, [&](std::string_view line) {
        // major minor name reads merged sectors-read ms writes merged sectors-written ...
        std::string_view rest = line;
        // Kernels since 2.6 print at least 14 fields; a shorter line is damaged.
        constexpr size_t kFields = 14;
        std::string_view f[kFields];
        size_t n = 0;
        while (n < kFields) {
            size_t b = rest.find_first_not_of(" \t");
            if (b == std::string_view::npos) break;
            rest.remove_prefix(b);
            const size_t e = rest.find_first_of(" \t");
            f[n++] = rest.substr(0, e);
            if (e == std::string_view::npos) {
                rest = {};
                break;
            }
            rest.remove_prefix(e);
        }
        if (n < kFields) return;
        if (!std::binary_search(devices.begin(), devices.end(), f[2])) return;
        const auto read = parseUInt(f[5]);
        const auto written = parseUInt(f[9]);
        if (!read || !written) return;
        out.readBytes += *read * 512;
        out.writtenBytes += *written * 512;
    });
}

LinuxDiskSource::LinuxDiskSource(std::string procRoot, std::string sysRoot, std::string volume)
    : sysRoot_(std::move(sysRoot)), volume_(std::move(volume)), diskstats_(procRoot + "/diskstats") {}

bool LinuxDiskSource::volume(VolumeBlocks& out) {
    struct statvfs st;
    if (::statvfs(volume_.c_str(), &st) != 0) return false;
    out.blockSize = st.f_frsize ? st.f_frsize : st.f_bsize;
    out.total = st.f_blocks;
    out.available = st.f_bavail;
    return true;
}

void LinuxDiskSource::rescan() {
    devices_.clear();
    const std::string block = sysRoot_ + "/block/";
    if (!listDir(block, names_)) return;
    for (const std::string& name : names_) {
        struct stat st;
        if (::lstat((block + name + "/device").c_str(), &st) != 0) continue;
        // sysfs spells a "/" in a device name as "!" (cciss!c0d0); diskstats does not.
        std::string kernelName = name;
        std::replace(kernelName.begin(), kernelName.end(), '!', '/');
        devices_.push_back(std::move(kernelName));
    }
    std::sort(devices_.begin(), devices_.end());
}

const std::vector<std::string>& LinuxDiskSource::devices() {
    if (rescan_.due()) rescan();
    return devices_;
}

bool LinuxDiskSource::totals(DiskTotals& out) {
    out = {};
    const auto& devices = this->devices();
    if (!diskstats_.read(buf_, 1 << 20)) return false;
    sumDiskStats(buf_, devices, out);
    return true;
}

}  // namespace velmora::platform
