#pragma once

#include "platform/process_icons.h"

#include <QIcon>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>

namespace velmora {

// Process icons for the process lists, by pid. An icon is looked up once per process: a
// reused pid (another start time) gets a fresh lookup, and the cache is emptied when it
// grows past kMaxEntries, so it never holds more than a screenful of history. GUI thread.
//
// Lists repaint their rows on every tick; a pid's start time is read again only once kRecheck
// has passed, so most repaints do no file reads. A pid reused sooner than that keeps the old
// icon for those few seconds at most.
class ProcessIconCache {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr size_t kMaxEntries = 2000;
    static constexpr std::chrono::seconds kRecheck{5};

    explicit ProcessIconCache(std::unique_ptr<platform::ProcessIconReader> reader = platform::makeProcessIconReader(),
                              Clock clock = std::chrono::steady_clock::now);

    // The application's icon, or the generic executable icon (also for a process that is gone).
    QIcon icon(int32_t pid);
    size_t size() const { return entries_.size(); }

    // The image a source names; the generic executable icon when it names nothing the theme
    // or the file system has.
    static QIcon resolve(const platform::ProcessIconSource& source);
    static QIcon genericIcon();

  private:
    struct Entry {
        uint64_t startTime;
        QIcon icon;
        std::chrono::steady_clock::time_point checkedAt;
    };
    std::unique_ptr<platform::ProcessIconReader> reader_;
    Clock clock_;
    std::unordered_map<int32_t, Entry> entries_;
};

}  // namespace velmora
