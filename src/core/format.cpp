#include "core/format.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#ifdef __APPLE__
#include <xlocale.h>
#endif

namespace velmora::Format {

namespace {

// Clamps to the unsigned 64-bit range instead of invoking undefined conversion.
uint64_t toCount(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551615.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(v);
}

// The C locale, made once: formatting switches to it so the process locale cannot put a
// comma in place of the point.
locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

}  // namespace

QString fixed(double value, int decimals) {
    // printf's "%.*f" rounds exactly (ties to even on the binary value), unlike Qt's own
    // formatting, and exists on every supported system version; it follows the calling
    // thread's locale, hence the switch.
    // Texts longer than kMaxChars (only absurd decimals on huge values) give "0".
    constexpr int kMaxChars = 400;
    char buf[kMaxChars + 1];
    const locale_t c = cLocale();
    const locale_t previous = c ? uselocale(c) : locale_t(nullptr);
    const int n = std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    if (c) uselocale(previous);
    if (n < 0 || n > kMaxChars) return QStringLiteral("0");
    return QString::fromLatin1(buf, n);
}

QString bytes(uint64_t n) {
    static const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
    double x = static_cast<double>(n);
    int u = 0;
    if (n >= 1024) {
        x /= 1024.0;
        u = 1;
        while (u < 4 && x >= 1024.0) {
            x /= 1024.0;
            ++u;
        }
    }
    const int decimals = (u == 0 || x >= 100) ? 0 : 1;
    return fixed(x, decimals) + u' ' + QLatin1String(units[u]);
}

QString bps(double r) {
    if (!std::isfinite(r) || r < 0) r = 0;
    return bytes(toCount(r)) + QStringLiteral("/s");
}

QString shortRate(double r) {
    if (!std::isfinite(r) || r < 0) r = 0;
    if (r >= 1048576.0) return fixed(r / 1048576.0, 0) + u'M';
    if (r >= 1024.0) return fixed(r / 1024.0, 0) + u'K';
    return QString::number(toCount(r)) + u'B';
}

QString duration(double s) {
    if (std::isnan(s) || s < 0) s = 0;
    const uint64_t t = s >= 9.2e18 ? static_cast<uint64_t>(9.2e18) : static_cast<uint64_t>(s);
    const uint64_t d = t / 86400, h = (t % 86400) / 3600, m = (t % 3600) / 60, c = t % 60;
    if (t < 60) return QStringLiteral("%1초").arg(c);
    if (t < 3600) return QStringLiteral("%1분 %2초").arg(m).arg(c);
    if (t < 86400) return QStringLiteral("%1시간 %2분").arg(h).arg(m);
    return QStringLiteral("%1일 %2시간 %3분").arg(d).arg(h).arg(m);
}

}  // namespace velmora::Format
