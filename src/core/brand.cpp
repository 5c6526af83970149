#include "core/brand.h"

#ifndef VELMORA_VERSION
#define VELMORA_VERSION "0.0.0"  // the build sets it; a bare compile of this file gets a placeholder
#endif

namespace velmora::Brand {

QUrl url(const QString& candidate, const QUrl& fallback) {
    const QString text = candidate.trimmed();
    if (text == fallback.toString()) return fallback;
    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid() || !parsed.scheme().startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        return fallback;
    return parsed;
}

QUrl helpPageFallback() {
    return QUrl(QStringLiteral("https://tandrel.com/velmora/help"));
}
QUrl companyHomepageFallback() {
    return QUrl(QStringLiteral("https://tandrel.com"));
}
QUrl serviceFallback() {
    return QUrl(QStringLiteral("https://velmora.tandrel.com"));
}

QString version() {
    return QStringLiteral(VELMORA_VERSION);
}

}  // namespace velmora::Brand
