// The settings file, loaded the way the program loads it at start.
#include "core/settings.h"
#include "fuzz_input.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("settings.json"));
    static qint64 serial = 0;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        file.write(fuzz::bytes(data, size));
        // The store caches a file by name, size and modification time: a fresh time makes
        // it read every input, and one name keeps its cache from growing (which would make
        // every run look like a leak and slow the fuzzer down).
        file.setFileTime(QDateTime::fromSecsSinceEpoch(++serial), QFileDevice::FileModificationTime);
    }
    AppSettings settings(path);
    settings.alertsEnabled();
    settings.refreshInterval();
    settings.menuBarMetric();
    settings.language();
    return 0;
}
