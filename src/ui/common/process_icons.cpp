#include "ui/common/process_icons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QStyle>

namespace velmora {

ProcessIconCache::ProcessIconCache(std::unique_ptr<platform::ProcessIconReader> reader, Clock clock)
    : reader_(std::move(reader)), clock_(std::move(clock)) {}

QIcon ProcessIconCache::genericIcon() {
    static const QIcon fallback = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    return QIcon::fromTheme(QStringLiteral("application-x-executable"), fallback);
}

QIcon ProcessIconCache::resolve(const platform::ProcessIconSource& source) {
    using Kind = platform::ProcessIconSource::Kind;
    const QString value = QString::fromStdString(source.value);
    switch (source.kind) {
        case Kind::generic:
            break;
        case Kind::themeName:
            if (QIcon::hasThemeIcon(value)) return QIcon::fromTheme(value);
            break;
        case Kind::file: {
            const QFileInfo file(value);
            // A folder is an application bundle: the platform draws its icon.
            if (file.isDir()) return QFileIconProvider().icon(file);
            if (file.isFile()) {
                QIcon icon(value);
                if (!icon.availableSizes().isEmpty() || !icon.pixmap(16).isNull()) return icon;
            }
            break;
        }
    }
    return genericIcon();
}

QIcon ProcessIconCache::icon(int32_t pid) {
    const auto now = clock_();
    const auto it = entries_.find(pid);
    if (it != entries_.end() && now - it->second.checkedAt < kRecheck) return it->second.icon;
    const std::optional<uint64_t> start = reader_->startTime(pid);
    if (!start) {
        if (it != entries_.end()) entries_.erase(it);
        return genericIcon();
    }
    if (it != entries_.end() && it->second.startTime == *start) {
        it->second.checkedAt = now;
        return it->second.icon;
    }
    QIcon icon = resolve(reader_->iconSource(pid));
    entries_.insert_or_assign(pid, Entry{*start, icon, now});
    if (entries_.size() > kMaxEntries) entries_.clear();
    return icon;
}

}  // namespace velmora
