#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velmora::platform {

// Where the icon of one process comes from; the view turns it into an image.
struct ProcessIconSource {
    enum class Kind {
        generic,    // no application known: the generic executable icon
        themeName,  // a name in the desktop's icon theme
        file,       // an absolute path: an image file, or an application bundle
    };
    Kind kind = Kind::generic;
    std::string value;
    bool operator==(const ProcessIconSource&) const = default;
};

// Finds which application a process belongs to and names its icon. Calls may read files;
// they are cheap enough for the GUI thread (a few small reads per new process).
class ProcessIconReader {
  public:
    virtual ~ProcessIconReader() = default;
    // What tells a reused pid apart (the start time); nothing when the process is gone.
    virtual std::optional<uint64_t> startTime(int32_t pid) = 0;
    virtual ProcessIconSource iconSource(int32_t pid) = 0;
};

// The running system's reader.
std::unique_ptr<ProcessIconReader> makeProcessIconReader();

}  // namespace velmora::platform
