#include "support/test_util.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QThread>

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
