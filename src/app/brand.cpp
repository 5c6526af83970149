#include "app/brand.h"

namespace velmora::Brand {

QUrl url(const QString& candidate, const QUrl& fallback) {
    const QString text = candidate.trimmed();
    if (text == fallback.toString()) return fallback;
    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid() || !parsed.scheme().startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        return fallback;
    return parsed;
}

}  // namespace velmora::Brand
