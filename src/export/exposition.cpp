#include "export/exposition.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#ifdef __APPLE__
#include <xlocale.h>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#endif
#include <initializer_list>
#include <optional>

namespace velmora {

namespace {

QByteArrayView trimmed(QByteArrayView v) {
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() && (v.back() == ' ' || v.back() == '\t'))
        v.chop(1);
    return v;
}

bool sameText(QByteArrayView a, QByteArrayView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One element of an Accept header: its media range, the version it names and its weight.
struct MediaRange {
    QByteArrayView type;
    QByteArrayView version;
    double q = 1.0;
};

MediaRange parseRange(QByteArrayView element) {
    MediaRange r;
    qsizetype start = 0;
    bool first = true;
    while (start <= element.size()) {
        qsizetype end = element.indexOf(';', start);
        if (end < 0) end = element.size();
        const QByteArrayView part = trimmed(element.sliced(start, end - start));
        if (first) {
            r.type = part;
            first = false;
        } else if (const qsizetype eq = part.indexOf('='); eq > 0) {
            const QByteArrayView key = trimmed(part.first(eq));
            QByteArrayView value = trimmed(part.sliced(eq + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.sliced(1, value.size() - 2);
            if (sameText(key, "version")) {
                r.version = value;
            } else if (sameText(key, "q")) {
                bool ok = false;
                const double q = value.toByteArray().toDouble(&ok);
                r.q = ok && std::isfinite(q) ? std::clamp(q, 0.0, 1.0) : 0.0;
            }
        }
        start = end + 1;
    }
    return r;
}

void appendInteger(QByteArray& out, uint64_t v) {
    std::array<char, 24> buf{};
    const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    out.append(buf.data(), r.ptr - buf.data());
}

// A label: its name and either a text value or an index (core, fan, pid).
struct Label {
    std::string_view name;
    QStringView text;
    std::optional<int64_t> index;
};

Label text(std::string_view name, QStringView value) {
    return {name, value, std::nullopt};
}
Label index(std::string_view name, int64_t value) {
    return {name, {}, value};
}

enum class Type { gauge, counter, info };

// Writes families one after the other. The format decides how a counter or an info family
// is named: OpenMetrics names the family without its `_total` / `_info` suffix and the
// samples with it, the 0.0.4 text format names both with it. OpenMetrics also states the
// unit of a family whose name ends in one.
class Writer {
  public:
    Writer(QByteArray& out, ExpositionFormat format) : out_(out), format_(format) {}

    void family(std::string_view name, Type type, std::string_view help, std::string_view unit = {}) {
        name_ = name;
        suffix_ = type == Type::counter ? std::string_view("_total")
                  : type == Type::info  ? std::string_view("_info")
                                        : std::string_view();
        const bool om = format_ == ExpositionFormat::openMetrics;
        out_.append("# HELP ");
        appendName(om);
        out_.append(' ');
        appendHelpText(out_, help, format_);
        out_.append("\n# TYPE ");
        appendName(om);
        out_.append(type == Type::counter ? " counter\n"
                    : type == Type::info  ? (om ? " info\n" : " gauge\n")
                                          : " gauge\n");
        if (om && !unit.empty()) {
            out_.append("# UNIT ");
            appendName(om);
            out_.append(' ');
            out_.append(unit.data(), static_cast<qsizetype>(unit.size()));
            out_.append('\n');
        }
    }

    void sample(std::initializer_list<Label> labels, double value) {
        begin(labels);
        appendSampleValue(out_, value);
        out_.append('\n');
    }
    void sample(std::initializer_list<Label> labels, uint64_t value) {
        begin(labels);
        appendInteger(out_, value);
        out_.append('\n');
    }
    void sample(double value) { sample({}, value); }
    void sample(uint64_t value) { sample({}, value); }
    // A sample whose label set ("{a=\"b\"}") was formatted once for several families.
    void sample(const QByteArray& labels, double value) {
        appendName(false);
        out_.append(labels);
        out_.append(' ');
        appendSampleValue(out_, value);
        out_.append('\n');
    }

  private:
    void appendName(bool familyName) {
        out_.append(name_.data(), static_cast<qsizetype>(name_.size()));
        if (!familyName) out_.append(suffix_.data(), static_cast<qsizetype>(suffix_.size()));
    }

    void begin(std::initializer_list<Label> labels) {
        appendName(false);
        if (labels.size() > 0) {
            out_.append('{');
            bool first = true;
            for (const Label& l : labels) {
                if (!first) out_.append(',');
                first = false;
                out_.append(l.name.data(), static_cast<qsizetype>(l.name.size()));
                out_.append("=\"");
                if (l.index) {
                    if (*l.index < 0) out_.append('-');
                    appendInteger(out_, static_cast<uint64_t>(*l.index < 0 ? -*l.index : *l.index));
                } else {
                    appendLabelValue(out_, l.text);
                }
                out_.append('"');
            }
            out_.append('}');
        }
        out_.append(' ');
    }

    QByteArray& out_;
    ExpositionFormat format_;
    std::string_view name_;
    std::string_view suffix_;
};

double ratio(double percent) {
    return percent / 100.0;
}

double flag(bool on) {
    return on ? 1.0 : 0.0;
}

// Sensor names are not unique (two drives of one model report the same name); a repeated
// name gets " #2", " #3" so every series keeps its own label set.
QString sensorLabel(const std::vector<TemperatureSensor>& sensors, size_t i) {
    int seen = 0;
    for (size_t j = 0; j < i; ++j)
        if (sensors[j].name == sensors[i].name) ++seen;
    if (seen == 0) return sensors[i].name;
    return sensors[i].name + QStringLiteral(" #") + QString::number(seen + 1);
}

void renderFigures(const Snapshot& s, const ExpositionContext& context, Writer& w) {
    w.family("velmora_snapshot_timestamp_seconds", Type::gauge,
             "When the figures below were sampled, in seconds since 1970.", "seconds");
    w.sample(std::chrono::duration<double>(s.time.time_since_epoch()).count());

    w.family("velmora_load_level", Type::gauge,
             "Overall load level: 0 normal, 1 elevated, 2 high, 3 critical.");
    w.sample(static_cast<double>(s.severity()));

    w.family("velmora_cpu_busy_ratio", Type::gauge, "Share of the whole machine's CPU time spent busy (0-1).",
             "ratio");
    w.sample(ratio(s.cpuTotal));
    if (!s.cpuPerCore.empty()) {
        w.family("velmora_cpu_core_busy_ratio", Type::gauge,
                 "Share of one logical core's time spent busy (0-1), by core and core kind.", "ratio");
        static const QString other = QStringLiteral("other");
        for (size_t i = 0; i < s.cpuPerCore.size(); ++i) {
            const QString& kind = i < context.coreKinds.size() ? context.coreKinds[i] : other;
            w.sample({index("core", static_cast<int64_t>(i)), text("kind", kind)}, ratio(s.cpuPerCore[i]));
        }
    }

    // A total of zero means the reading failed: no memory or volume series then.
    if (s.memTotal > 0) {
        w.family("velmora_memory_total_bytes", Type::gauge, "Physical memory.", "bytes");
        w.sample(s.memTotal);
        w.family("velmora_memory_used_bytes", Type::gauge, "Physical memory in use.", "bytes");
        w.sample(s.memUsed);
        w.family("velmora_memory_used_ratio", Type::gauge, "Share of physical memory in use (0-1).", "ratio");
        w.sample(ratio(s.memPercent));
        w.family("velmora_memory_compressed_bytes", Type::gauge, "Memory held by the compressor.", "bytes");
        w.sample(s.memCompressed);
        w.family("velmora_swap_used_bytes", Type::gauge, "Swap space in use.", "bytes");
        w.sample(s.swapUsed);
    }

    if (s.diskTotal > 0) {
        static const QString root = QStringLiteral("/");
        w.family("velmora_filesystem_size_bytes", Type::gauge, "Capacity of the volume.", "bytes");
        w.sample({text("volume", root)}, s.diskTotal);
        w.family("velmora_filesystem_used_bytes", Type::gauge, "Space used on the volume.", "bytes");
        w.sample({text("volume", root)}, s.diskUsed);
        w.family("velmora_filesystem_used_ratio", Type::gauge, "Share of the volume used (0-1).", "ratio");
        w.sample({text("volume", root)}, ratio(s.diskPercent));
    }

    w.family("velmora_disk_read_bytes_per_second", Type::gauge,
             "Bytes read per second from all block devices over the last interval.", "bytes_per_second");
    w.sample(s.diskReadBps);
    w.family("velmora_disk_written_bytes_per_second", Type::gauge,
             "Bytes written per second to all block devices over the last interval.", "bytes_per_second");
    w.sample(s.diskWriteBps);
    w.family("velmora_disk_read_bytes", Type::counter,
             "Bytes read from all block devices since Velmora started.", "bytes");
    w.sample(s.diskReadBytes);
    w.family("velmora_disk_written_bytes", Type::counter,
             "Bytes written to all block devices since Velmora started.", "bytes");
    w.sample(s.diskWrittenBytes);

    w.family("velmora_network_receive_bytes_per_second", Type::gauge,
             "Bytes received per second over all interfaces but loopback.", "bytes_per_second");
    w.sample(s.netInBps);
    w.family("velmora_network_transmit_bytes_per_second", Type::gauge,
             "Bytes sent per second over all interfaces but loopback.", "bytes_per_second");
    w.sample(s.netOutBps);
    w.family("velmora_network_receive_bytes", Type::counter,
             "Bytes received over all interfaces but loopback since Velmora started.", "bytes");
    w.sample(s.netInBytes);
    w.family("velmora_network_transmit_bytes", Type::counter,
             "Bytes sent over all interfaces but loopback since Velmora started.", "bytes");
    w.sample(s.netOutBytes);

    if (context.gpu) {
        w.family("velmora_gpu_busy_ratio", Type::gauge, "GPU utilisation (0-1).", "ratio");
        w.sample(ratio(s.gpuPercent));
    }

    w.family("velmora_thermal_pressure", Type::gauge,
             "The system's thermal pressure: 0 nominal, 1 fair, 2 serious, 3 critical.");
    w.sample(static_cast<double>(s.thermalState));

    if (!s.sensors.empty()) {
        w.family("velmora_temperature_celsius", Type::gauge, "Temperature of each sensor.", "celsius");
        for (size_t i = 0; i < s.sensors.size(); ++i)
            w.sample({text("sensor", sensorLabel(s.sensors, i))}, s.sensors[i].celsius);
    }
    const struct {
        std::string_view name, help;
        const std::optional<double>& value;
    } summaries[] = {
        {"velmora_cpu_temperature_celsius", "CPU temperature.", s.cpuTempC},
        {"velmora_gpu_temperature_celsius", "GPU temperature.", s.gpuTempC},
        {"velmora_hottest_temperature_celsius", "Temperature of the hottest sensor.", s.hottestC},
    };
    for (const auto& t : summaries) {
        if (!t.value) continue;
        w.family(t.name, Type::gauge, t.help, "celsius");
        w.sample(*t.value);
    }
    if (s.cpuPowerW || s.gpuPowerW || s.anePowerW) {
        w.family("velmora_power_watts", Type::gauge, "Power drawn, by component.", "watts");
        static const QString cpu = QStringLiteral("cpu"), gpu = QStringLiteral("gpu"),
                             ane = QStringLiteral("neural_engine");
        if (s.cpuPowerW) w.sample({text("component", cpu)}, *s.cpuPowerW);
        if (s.gpuPowerW) w.sample({text("component", gpu)}, *s.gpuPowerW);
        if (s.anePowerW) w.sample({text("component", ane)}, *s.anePowerW);
    }

    if (!s.fans.empty()) {
        w.family("velmora_fan_speed_rpm", Type::gauge, "Fan speed in revolutions per minute.", "rpm");
        for (size_t i = 0; i < s.fans.size(); ++i)
            w.sample({index("fan", static_cast<int64_t>(i))}, s.fans[i].rpm);
        // Target and limits are 0 where the system does not report them.
        const struct {
            std::string_view name, help;
            double FanInfo::*field;
        } limits[] = {
            {"velmora_fan_target_rpm", "Speed the fan is driven towards.", &FanInfo::target},
            {"velmora_fan_min_rpm", "Lowest speed of the fan.", &FanInfo::minRPM},
            {"velmora_fan_max_rpm", "Highest speed of the fan.", &FanInfo::maxRPM},
        };
        for (const auto& l : limits) {
            const bool any =
                std::any_of(s.fans.begin(), s.fans.end(), [&](const FanInfo& f) { return f.*l.field > 0; });
            if (!any) continue;
            w.family(l.name, Type::gauge, l.help, "rpm");
            for (size_t i = 0; i < s.fans.size(); ++i)
                if (s.fans[i].*l.field > 0)
                    w.sample({index("fan", static_cast<int64_t>(i))}, s.fans[i].*l.field);
        }
    }

    const BatteryInfo& b = s.battery;
    if (b.present) {
        w.family("velmora_battery_charge_ratio", Type::gauge, "Battery charge (0-1).", "ratio");
        w.sample(ratio(b.percent));
        w.family("velmora_battery_charging", Type::gauge, "1 while the battery charges.");
        w.sample(flag(b.charging));
        w.family("velmora_battery_ac_power", Type::gauge, "1 while the machine runs on external power.");
        w.sample(flag(b.acPower));
        if (b.timeToEmptyMin) {
            w.family("velmora_battery_time_to_empty_seconds", Type::gauge,
                     "Estimated time until the battery is empty.", "seconds");
            w.sample(*b.timeToEmptyMin * 60.0);
        }
        if (b.timeToFullMin) {
            w.family("velmora_battery_time_to_full_seconds", Type::gauge,
                     "Estimated time until the battery is full.", "seconds");
            w.sample(*b.timeToFullMin * 60.0);
        }
        if (b.cycleCount) {
            w.family("velmora_battery_cycles", Type::gauge, "Charge cycles the battery has been through.");
            w.sample(static_cast<double>(*b.cycleCount));
        }
        if (b.healthPercent) {
            w.family("velmora_battery_health_ratio", Type::gauge,
                     "Battery capacity now as a share of its design capacity (0-1).", "ratio");
            w.sample(ratio(*b.healthPercent));
        }
    }

    const std::vector<const ProcInfo*> procs = busiestProcesses(s, context.processLimit);
    if (!procs.empty()) {
        // Each process's labels appear in four families: escaped once.
        std::vector<QByteArray> labels;
        labels.reserve(procs.size());
        for (const ProcInfo* p : procs) {
            QByteArray l = "{pid=\"" + QByteArray::number(p->pid) + "\",name=\"";
            appendLabelValue(l, p->name);
            l.append("\"}");
            labels.push_back(std::move(l));
        }
        const struct {
            std::string_view name, help, unit;
            double (*value)(const ProcInfo&);
        } families[] = {
            {"velmora_process_cpu_ratio", "CPU time of the process as a share of one core (may exceed 1).",
             "ratio", [](const ProcInfo& p) { return p.cpu / 100.0; }},
            {"velmora_process_memory_bytes", "Memory of the process.", "bytes",
             [](const ProcInfo& p) { return static_cast<double>(p.memBytes); }},
            {"velmora_process_disk_read_bytes_per_second", "Bytes the process read per second.",
             "bytes_per_second", [](const ProcInfo& p) { return p.diskReadBps; }},
            {"velmora_process_disk_written_bytes_per_second", "Bytes the process wrote per second.",
             "bytes_per_second", [](const ProcInfo& p) { return p.diskWriteBps; }},
        };
        for (const auto& f : families) {
            w.family(f.name, Type::gauge, f.help, f.unit);
            for (size_t i = 0; i < procs.size(); ++i)
                w.sample(labels[i], f.value(*procs[i]));
        }
    }
}

}  // namespace

ExpositionFormat negotiateFormat(QByteArrayView accept) {
    double openMetrics = 0;
    double plain = 0;
    qsizetype start = 0;
    while (start < accept.size()) {
        qsizetype end = accept.indexOf(',', start);
        if (end < 0) end = accept.size();
        const MediaRange r = parseRange(accept.sliced(start, end - start));
        start = end + 1;
        if (sameText(r.type, "application/openmetrics-text")) {
            if (r.version.isEmpty() || r.version == "1.0.0") openMetrics = std::max(openMetrics, r.q);
        } else if (sameText(r.type, "text/plain") || sameText(r.type, "text/*") || r.type == "*/*") {
            if (r.version.isEmpty() || r.version == "0.0.4") plain = std::max(plain, r.q);
        }
    }
    return openMetrics > 0 && openMetrics >= plain ? ExpositionFormat::openMetrics
                                                   : ExpositionFormat::prometheusText;
}

QByteArray contentType(ExpositionFormat format) {
    return format == ExpositionFormat::openMetrics
               ? QByteArrayLiteral("application/openmetrics-text; version=1.0.0; charset=utf-8")
               : QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");
}

void appendLabelValue(QByteArray& out, QStringView value) {
    const QByteArray utf8 = value.toUtf8();
    qsizetype plain = 0;  // start of the run that needs no escape
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c != '\\' && c != '"' && c != '\n') continue;
        out.append(utf8.constData() + plain, i - plain);
        out.append(c == '\n' ? "\\n" : c == '"' ? "\\\"" : "\\\\");
        plain = i + 1;
    }
    out.append(utf8.constData() + plain, utf8.size() - plain);
}

void appendHelpText(QByteArray& out, std::string_view help, ExpositionFormat format) {
    const bool quote = format == ExpositionFormat::openMetrics;
    for (const char c : help) {
        if (c == '\\')
            out.append("\\\\");
        else if (c == '\n')
            out.append("\\n");
        else if (c == '"' && quote)
            out.append("\\\"");
        else
            out.append(c);
    }
}

void appendSampleValue(QByteArray& out, double value) {
    if (std::isnan(value)) {
        out.append("NaN");
    } else if (std::isinf(value)) {
        out.append(value > 0 ? "+Inf" : "-Inf");
    } else {
        std::array<char, 32> buf{};
#ifdef __APPLE__
        // The floating-point to_chars needs macOS 13.3: the shortest of 15, 16 and 17
        // significant digits that reads back as the same double, in the C locale.
        static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        const locale_t previous = uselocale(c);
        int n = 0;
        for (int digits = 15; digits <= 17; ++digits) {
            n = std::snprintf(buf.data(), buf.size(), "%.*g", digits, value);
            if (std::strtod(buf.data(), nullptr) == value) break;
        }
        uselocale(previous);
        out.append(buf.data(), n);
#else
        const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), value);
        out.append(buf.data(), r.ptr - buf.data());
#endif
    }
}

std::vector<const ProcInfo*> busiestProcesses(const Snapshot& snapshot, int limit) {
    std::vector<const ProcInfo*> rows;
    if (limit <= 0) return rows;
    rows.reserve(snapshot.processes.size());
    for (const ProcInfo& p : snapshot.processes)
        rows.push_back(&p);
    // A reading that is not a number sorts last rather than breaking the ordering.
    const auto load = [](const ProcInfo* p) { return std::isnan(p->cpu) ? -INFINITY : p->cpu; };
    std::stable_sort(rows.begin(), rows.end(), [&](const ProcInfo* a, const ProcInfo* b) {
        const double la = load(a), lb = load(b);
        return la != lb ? la > lb : a->pid < b->pid;
    });
    std::vector<const ProcInfo*> result;
    result.reserve(std::min(rows.size(), static_cast<size_t>(limit)));
    for (const ProcInfo* p : rows) {
        if (result.size() == static_cast<size_t>(limit)) break;
        // Two entries with one pid would be two series with one label set, which a scraper
        // rejects; the busier one stays.
        const bool seen =
            std::any_of(result.begin(), result.end(), [p](const ProcInfo* r) { return r->pid == p->pid; });
        if (!seen) result.push_back(p);
    }
    return result;
}

void renderExposition(const Snapshot* snapshot, const ExpositionContext& context, ExpositionFormat format,
                      QByteArray& out) {
    out.resize(0);  // keeps the capacity of the last scrape

    Writer w(out, format);
    w.family("velmora_build", Type::info, "The Velmora version serving these figures.");
    w.sample({text("version", context.version)}, 1.0);
    if (snapshot) renderFigures(*snapshot, context, w);
    if (format == ExpositionFormat::openMetrics) out.append("# EOF\n");
}

}  // namespace velmora
