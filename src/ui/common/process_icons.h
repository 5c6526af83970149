#pragma once

#include "platform/process_icons.h"

#include <QIcon>

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace velmora {

// Process icons for the process lists, by pid. An icon is looked up once per process: a
// reused pid (another start time) gets a fresh lookup, and the cache is emptied when it
// grows past kMaxEntries, so it never holds more than a screenful of history. GUI thread.
class ProcessIconCache {
  public:
    static constexpr size_t kMaxEntries = 2000;

    explicit ProcessIconCache(std::unique_ptr<platform::ProcessIconReader> reader = platform::makeProcessIconReader());

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
    };
    std::unique_ptr<platform::ProcessIconReader> reader_;
    std::unordered_map<int32_t, Entry> entries_;
};

}  // namespace velmora
