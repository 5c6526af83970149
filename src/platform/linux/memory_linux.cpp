#include "platform/linux/memory_linux.h"

#include <unistd.h>

namespace velmora::platform {

using namespace linux_fs;

std::unique_ptr<MemorySource> makeMemorySource() {
    return std::make_unique<LinuxMemorySource>();
}

bool parseMemInfo(std::string_view text, MemInfo& out) {
    out = {};
    bool hasTotal = false;
    forEachLine(text, [&](std::string_view line) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        const std::string_view key = line.substr(0, colon);
        uint64_t* field = key == "MemTotal"       ? &out.total
                          : key == "MemAvailable" ? &out.available
                          : key == "SwapTotal"    ? &out.swapTotal
                          : key == "SwapFree"     ? &out.swapFree
                          : key == "Zswap"        ? &out.zswap
                                                  : nullptr;
        if (!field) return;
        std::string_view value = trim(line.substr(colon + 1));
        uint64_t scale = 1;
        if (value.size() > 2 && value.substr(value.size() - 2) == "kB") {
            value = trim(value.substr(0, value.size() - 2));
            scale = 1024;
        }
        const auto v = parseUInt(value);
        if (!v) return;
        *field = *v * scale;
        if (field == &out.total) hasTotal = true;
        if (field == &out.available) out.hasAvailable = true;
    });
    return hasTotal && out.hasAvailable;
}

LinuxMemorySource::LinuxMemorySource(std::string procRoot, std::string sysRoot, uint64_t pageSize)
    : sysRoot_(std::move(sysRoot)), meminfo_(procRoot + "/meminfo", linux_fs::PinnedFile::Pieces::one) {
    if (pageSize == 0) {
        const long ps = ::sysconf(_SC_PAGESIZE);
        pageSize = ps > 0 ? static_cast<uint64_t>(ps) : 0;
    }
    pageSize_ = pageSize;
    MemInfo info;
    if (meminfo_.read(buf_) && parseMemInfo(buf_, info)) total_ = info.total;
}

void LinuxMemorySource::rescanZram() {
    zram_.clear();
    if (!listDir(sysRoot_ + "/block", names_)) return;
    for (const std::string& name : names_)
        if (name.rfind("zram", 0) == 0) zram_.emplace_back(sysRoot_ + "/block/" + name + "/mm_stat");
}

bool LinuxMemorySource::read(MemoryPages& out) {
    out = {};
    MemInfo info;
    if (pageSize_ == 0 || !meminfo_.read(buf_) || !parseMemInfo(buf_, info)) return false;
    if (rescan_.due()) rescanZram();

    uint64_t compressedBytes = info.zswap;
    std::vector<std::string_view>& fields = fields_;
    for (PinnedFile& f : zram_) {
        // mm_stat: orig_data_size compr_data_size mem_used_total ...; an unset-up device
        // has no file or reads zeros.
        if (!f.read(buf_)) continue;
        splitFields(trim(buf_), fields);
        if (fields.size() >= 3)
            if (const auto used = parseUInt(fields[2])) compressedBytes += *used;
    }

    const uint64_t usedBytes = info.total > info.available ? info.total - info.available : 0;
    out.compressor = compressedBytes / pageSize_;
    const uint64_t usedPages = usedBytes / pageSize_;
    out.used = usedPages > out.compressor ? usedPages - out.compressor : 0;
    out.swapUsedBytes = info.swapTotal > info.swapFree ? info.swapTotal - info.swapFree : 0;
    return true;
}

}  // namespace velmora::platform
