#include "inspect/run_tool.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStringDecoder>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string_view>
#ifdef __APPLE__
#include <xlocale.h>
#endif

namespace velmora {

ToolRun runToolCapture(const QString& path, const QStringList& args, bool keepErrors,
                       const ToolLimits& limits) {
    ToolRun run;
    QProcess p;
    p.setProgram(path);
    p.setArguments(args);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setProcessEnvironment(platform::toolEnvironment());
    if (!keepErrors) p.setStandardErrorFile(QProcess::nullDevice());
    p.start(QIODevice::ReadOnly);
    if (!p.waitForStarted(static_cast<int>(limits.timeout.count()))) return run;
    run.started = true;

    QDeadlineTimer deadline(limits.timeout);
    auto drain = [&] {
        run.out += p.readAllStandardOutput();
        if (keepErrors) {
            const QByteArray e = p.readAllStandardError();
            if (run.err.size() < limits.maxErrorBytes)
                run.err += e.left(limits.maxErrorBytes - run.err.size());
        }
    };
    auto killNow = [&] {
        p.kill();
        p.waitForFinished(2000);
    };
    while (p.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            run.timedOut = true;
            killNow();
            break;
        }
        p.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 250)));
        drain();
        if (run.out.size() > limits.maxOutputBytes) {
            run.truncated = true;
            killNow();
            break;
        }
    }
    drain();
    if (run.out.size() > limits.maxOutputBytes) run.truncated = true;
    if (run.truncated) {
        run.out.truncate(limits.maxOutputBytes);
        const qsizetype lastLine = run.out.lastIndexOf('\n');
        run.out.truncate(lastLine < 0 ? 0 : lastLine + 1);
    }
    return run;
}

std::optional<QString> runTool(const QString& path, const QStringList& args, const ToolLimits& limits) {
    const ToolRun run = runToolCapture(path, args, false, limits);
    if (!run.started || run.timedOut) return std::nullopt;
    return decodeUtf8(run.out);
}

std::optional<QString> runToolLines(const QString& path, const QStringList& args, const ToolLimits& limits) {
    const ToolRun run = runToolCapture(path, args, false, limits);
    if (!run.started || run.timedOut) return std::nullopt;
    return platform::decodeLinesLossy(run.out);
}

namespace {

locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return c;
}

// A decimal floating-point number spanning the whole text, read in the C locale: an
// optional "+" or "-", digits with an optional point and exponent, or "inf"/"nan". No
// white space, no second sign, no hexadecimal form; a value too small to be anything but
// zero is refused rather than rounded to zero.
std::optional<double> parseCDecimal(const QByteArray& text) {
    const char* begin = text.constData();
    const char* const end = begin + text.size();
    if (begin != end && *begin == '+') ++begin;
    // strtod would also skip white space, take a second sign and read "0x" forms.
    static constexpr std::string_view kFirst = "0123456789.-iInN";
    if (begin == end || kFirst.find(*begin) == std::string_view::npos) return std::nullopt;
    if (text.contains('x') || text.contains('X')) return std::nullopt;
    const locale_t c = cLocale();
    if (!c) return std::nullopt;
    char* stop = nullptr;
    errno = 0;
    const double value = strtod_l(begin, &stop, c);
    // Stopping early also catches an embedded NUL, which strtod takes for the end.
    if (stop != end) return std::nullopt;
    if (errno == ERANGE && value == 0) return std::nullopt;
    return value;
}

}  // namespace

std::optional<uint64_t> parseSize(const QString& number, const QString& unit) {
    static const std::pair<const char*, double> kMultipliers[] = {
        {"B", 1.0}, {"KB", 1024.0}, {"MB", 1048576.0}, {"GB", 1073741824.0}, {"TB", 1099511627776.0}};
    double multiplier = 0;
    for (const auto& [name, m] : kMultipliers)
        if (unit == QLatin1String(name)) multiplier = m;
    if (multiplier == 0) return std::nullopt;

    const QByteArray text = number.toUtf8();
    const std::optional<double> parsed = parseCDecimal(text);
    if (!parsed) return std::nullopt;
    const double value = *parsed;
    if (!std::isfinite(value) || value < 0) return std::nullopt;
    const double bytes = std::round(multiplier * value);
    if (bytes >= 18446744073709551616.0) return std::nullopt;
    return static_cast<uint64_t>(bytes);
}

}  // namespace velmora
