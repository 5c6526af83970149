#include "support/test_util.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QThread>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

std::string fixture(const std::string& relative) {
    return std::string(VELMORA_FIXTURE_DIR) + "/" + relative;
}

void writeFile(const QTemporaryDir& dir, const QString& relative, const QByteArray& content) {
    const QString path = dir.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(path));
    f.write(content);
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QDeadlineTimer deadline(timeout);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

ForkedChild::ForkedChild(void (*body)()) {
    pid_ = ::fork();
    if (pid_ == 0) {
        body();
        ::_exit(0);
    }
}

ForkedChild::~ForkedChild() {
    if (pid_ <= 0 || reaped_) return;
    // Our own child: its pid stays ours until reaped, so the signal cannot hit another
    // process, and the wait ends as soon as the kill lands.
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

int ForkedChild::reap() {
    if (pid_ <= 0 || reaped_) return -1;
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return -1;
    reaped_ = true;
    return status;
}

namespace {
// 512 × 512 at 32 bits is 1024 KB, the cache's unit of cost.
constexpr int kMarkerSide = 512;
constexpr int kMarkerKb = kMarkerSide * kMarkerSide * 4 / 1024;
}  // namespace

PixmapCacheProbe::PixmapCacheProbe() : previousLimitKb_(QPixmapCache::cacheLimit()) {
    QPixmapCache::clear();
    QPixmapCache::setCacheLimit(kMarkerKb);
    QPixmap marker(kMarkerSide, kMarkerSide);
    marker.fill(Qt::transparent);
    marker_ = QPixmapCache::insert(marker);
    if (!untouched()) qFatal("the pixmap cache refused the probe's marker");
}

PixmapCacheProbe::~PixmapCacheProbe() {
    QPixmapCache::remove(marker_);
    QPixmapCache::setCacheLimit(previousLimitKb_);
}

bool PixmapCacheProbe::untouched() const {
    QPixmap found;
    return QPixmapCache::find(marker_, &found);
}

}  // namespace velmora::test
