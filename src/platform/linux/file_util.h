#pragma once

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

}  // namespace velmora::platform::linux_fs
