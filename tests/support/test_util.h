#pragma once

#include <QPixmapCache>
#include <QString>
#include <QTemporaryDir>

#include <chrono>
#include <functional>

#include <sys/types.h>
#include <string>

namespace velmora::test {

// Absolute path of a file or folder under tests/fixtures.
std::string fixture(const std::string& relative);

// Writes `content` to `dir/relative`, creating folders on the way.
void writeFile(const QTemporaryDir& dir, const QString& relative, const QByteArray& content);

// Runs the event loop until `done` holds or `timeout` passes; returns `done()`.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A forked child that is killed and reaped on every way out of a test, a failed
// assertion included. The child runs `body` (async-signal-safe calls only) and never
// returns from it.
class ForkedChild {
  public:
    explicit ForkedChild(void (*body)());
    ~ForkedChild();
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Waits for the child's end and returns its wait status (-1 when it was reaped before).
    int reap();

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// Tells whether anything was filed in the process-wide pixmap cache while it lives. It fills
// the cache exactly with one marker pixmap, so any later entry (up to the marker's size)
// pushes the marker out. The cache's limit is restored on destruction.
class PixmapCacheProbe {
  public:
    PixmapCacheProbe();
    ~PixmapCacheProbe();
    PixmapCacheProbe(const PixmapCacheProbe&) = delete;
    PixmapCacheProbe& operator=(const PixmapCacheProbe&) = delete;

    // False once something else has been cached.
    bool untouched() const;

  private:
    int previousLimitKb_;
    QPixmapCache::Key marker_;
};

}  // namespace velmora::test
