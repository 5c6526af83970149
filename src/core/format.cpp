#include "core/format.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace velmora::Format {

namespace {

// Clamps to the unsigned 64-bit range instead of invoking undefined conversion.
uint64_t toCount(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551615.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(v);
}

}  // namespace

QString fixed(double value, int decimals) {
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc()) return QStringLiteral("0");
    return QString::fromLatin1(buf, static_cast<int>(r.ptr - buf));
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
