#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform::linux_fs {

// Reads a whole (small) file into `buf`, reusing its capacity. Files under /proc and /sys
// report no size, so this reads until EOF, stopping at `limit` bytes. False on any error.
bool readFile(const std::string& path, std::string& buf, size_t limit = 4 << 20);

// The file's content with surrounding whitespace removed, or nothing when unreadable.
std::optional<std::string> readTrimmed(const std::string& path);

// A decimal integer, optionally signed, surrounded by optional whitespace. Nothing else.
std::optional<int64_t> parseInt(std::string_view text);
std::optional<uint64_t> parseUInt(std::string_view text);
std::optional<int64_t> readInt(const std::string& path);

// A kernel CPU list such as "0-3,8,10-11"; nothing when malformed.
std::optional<std::vector<int>> parseCpuList(std::string_view text);

std::string_view trim(std::string_view text);

// Calls `fn(line)` for each line of `text` (without the newline).
template <typename Fn>
void forEachLine(std::string_view text, Fn&& fn) {
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        fn(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
}

// Splits on runs of spaces and tabs into `out` (views into `line`), reusing its capacity.
void splitFields(std::string_view line, std::vector<std::string_view>& out);

// The entry names of a folder, sorted, without "." and "..". False when it cannot be opened.
bool listDir(const std::string& path, std::vector<std::string>& out);

// The last path component of a symbolic link's target ("../../bus/pci/drivers/amdgpu"
// gives "amdgpu"), or nothing when `path` is not a readable link.
std::optional<std::string> linkBasename(const std::string& path);

// A file kept open between reads. Each read starts again at offset 0, where procfs and sysfs
// produce fresh content, so the per-tick cost is one pread instead of open, read and close.
// A failed read closes the file; the next read reopens it (a device that slept or came back).
//
// Files the kernel produces in one piece (sysfs attributes, and proc files built by a single
// show call such as /proc/stat and /proc/meminfo) are complete after a read that comes back
// short, which saves the read that would only confirm the end. Other proc files hand out a
// page of records at a time, so for them only an empty read ends.
class PinnedFile {
  public:
    enum class Pieces { byFileSystem, one };
    PinnedFile() = default;
    // `Pieces::one` marks a proc file built in one piece; anything off procfs is taken as one
    // piece anyway.
    explicit PinnedFile(std::string path, Pieces pieces = Pieces::byFileSystem)
        : path_(std::move(path)), declaredWhole_(pieces == Pieces::one) {}
    // A file that is never opened when `path` does not exist now: optional attributes that a
    // driver lacks then cost nothing per read until the next rescan.
    static PinnedFile ifExists(std::string path);
    PinnedFile(PinnedFile&& other) noexcept;
    PinnedFile& operator=(PinnedFile&& other) noexcept;
    PinnedFile(const PinnedFile&) = delete;
    PinnedFile& operator=(const PinnedFile&) = delete;
    ~PinnedFile();

    bool read(std::string& buf, size_t limit = 64 << 10);
    // The file as one decimal integer (hwmon and power-supply attributes); `scratch` is reused.
    std::optional<int64_t> readInt(std::string& scratch);
    const std::string& path() const { return path_; }
    bool exists() const;

  private:
    void close();
    std::string path_;
    int fd_ = -1;
    bool declaredWhole_ = false;
    bool whole_ = false;  // a short read is the end (decided when opened)
};

// Paces the re-reading of cached folder listings (hwmon chips, power supplies, block
// devices, ...): due at the first call, then again once `interval` has passed.
class RescanTimer {
  public:
    explicit RescanTimer(std::chrono::steady_clock::duration interval = std::chrono::seconds(3))
        : interval_(interval) {}
    bool due(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now()) {
        if (primed_ && now - last_ < interval_) return false;
        primed_ = true;
        last_ = now;
        return true;
    }
    void force() { primed_ = false; }

  private:
    std::chrono::steady_clock::duration interval_;
    std::chrono::steady_clock::time_point last_{};
    bool primed_ = false;
};

}  // namespace velmora::platform::linux_fs
