#pragma once

#include <QString>

#include <optional>
#include <string_view>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace velmora::platform {

// Full process names, cached per pid and start time so a tick never re-reads what cannot
// change. The kernel keeps only the first 15 bytes of a name (comm); when a name fills
// all 15, the base name of the executable, or else of argv[0], replaces it if it begins
// with those bytes. A process that renames itself gets a fresh lookup.
// The full name behind a `comm` the kernel cut at 15 bytes: the executable's base name
// (`exePath` may end in " (deleted)"), else argv[0]'s first word, else argv[0]'s base name,
// whichever extends `comm`; nothing when `comm` is shorter or none fits.
std::optional<std::string_view> extendedName(std::string_view comm, std::string_view exePath,
                                             std::string_view argv0);

class ProcNameCache {
  public:
    static constexpr size_t kCommMax = 15;

    // `procFd` is an open directory on the proc root.
    const QString& name(int procFd, int32_t pid, uint64_t startTime, std::string_view comm,
                        bool kernelThread);
    // Forgets every process not named since the previous sweep.
    void sweep();
    size_t size() const { return entries_.size(); }

    // The name for `comm` without the cache (one or two reads when comm is full).
    static QString resolve(int procFd, int32_t pid, std::string_view comm, bool kernelThread,
                           std::string& buf);

  private:
    struct Entry {
        uint64_t startTime = 0;
        std::string comm;
        QString name;
        uint32_t seen = 0;
    };
    std::unordered_map<int32_t, Entry> entries_;
    uint32_t generation_ = 1;
    size_t seenThisGeneration_ = 0;
    std::string buf_;
};

}  // namespace velmora::platform
