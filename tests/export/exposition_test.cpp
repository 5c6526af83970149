#include "export/exposition.h"

#include "export/snapshot_shapes.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace velmora;

namespace {

QByteArray render(const Snapshot* s, ExpositionFormat f, const ExpositionContext& c = test::shapeContext()) {
    QByteArray out;
    renderExposition(s, c, f, out);
    return out;
}

QByteArray render(const Snapshot& s, ExpositionFormat f = ExpositionFormat::prometheusText,
                  const ExpositionContext& c = test::shapeContext()) {
    return render(&s, f, c);
}

// The sample lines whose series name is exactly `name`.
QList<QByteArray> samples(const QByteArray& text, const QByteArray& name) {
    QList<QByteArray> found;
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(name + ' ') || line.startsWith(name + '{')) found << line;
    return found;
}

QList<QByteArray> sampleLines(const QByteArray& text) {
    QList<QByteArray> found;
    for (const QByteArray& line : text.split('\n'))
        if (!line.isEmpty() && !line.startsWith('#')) found << line;
    return found;
}

}  // namespace

TEST(ExpositionEscaping, LabelValues) {
    const struct {
        QString in;
        QByteArray out;
    } cases[] = {
        {"plain", "plain"},
        {"", ""},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"C:\\dir", "C:\\\\dir"},
        {"two\nlines", "two\\nlines"},
        {"\\n", "\\\\n"},  // a literal backslash-n is not a line feed
        {"\"\\\n", "\\\"\\\\\\n"},
        {"tab\tcr\r", "tab\tcr\r"},  // only the three characters the formats reserve
        {"café 日本", "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac"},
    };
    for (const auto& c : cases) {
        QByteArray out;
        appendLabelValue(out, c.in);
        EXPECT_EQ(out, c.out) << c.in.toStdString();
    }
}

TEST(ExpositionEscaping, HelpTextDiffersInTheDoubleQuote) {
    const struct {
        std::string_view in;
        QByteArray text, openMetrics;
    } cases[] = {
        {"Plain words.", "Plain words.", "Plain words."},
        {"a \"quoted\" word", "a \"quoted\" word", "a \\\"quoted\\\" word"},
        {"back\\slash", "back\\\\slash", "back\\\\slash"},
        {"line\nfeed", "line\\nfeed", "line\\nfeed"},
    };
    for (const auto& c : cases) {
        QByteArray text, om;
        appendHelpText(text, c.in, ExpositionFormat::prometheusText);
        appendHelpText(om, c.in, ExpositionFormat::openMetrics);
        EXPECT_EQ(text, c.text) << c.in;
        EXPECT_EQ(om, c.openMetrics) << c.in;
    }
}

TEST(ExpositionEscaping, SampleValuesReadBackExactly) {
    const struct {
        double in;
        QByteArray out;
    } cases[] = {
        {0, "0"},
        {0.5, "0.5"},
        {0.1, "0.1"},
        {1234567890123.0, "1234567890123"},
        {1e21, "1e+21"},
        {-2.5, "-2.5"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "+Inf"},
        {-std::numeric_limits<double>::infinity(), "-Inf"},
    };
    for (const auto& c : cases) {
        QByteArray out;
        appendSampleValue(out, c.in);
        EXPECT_EQ(out, c.out) << c.in;
        if (std::isfinite(c.in)) {
            EXPECT_EQ(out.toDouble(), c.in);
        }
    }
}

TEST(ExpositionFormatChoice, FromTheAcceptHeader) {
    using enum ExpositionFormat;
    const struct {
        QByteArray accept;
        ExpositionFormat expected;
    } cases[] = {
        {"", prometheusText},
        {"*/*", prometheusText},
        {"text/plain", prometheusText},
        {"text/plain;version=0.0.4", prometheusText},
        {"application/json", prometheusText},
        {";;;,,,=q", prometheusText},
        {"application/openmetrics-text", openMetrics},
        {"APPLICATION/OpenMetrics-Text; Version=\"1.0.0\"", openMetrics},
        // What Prometheus 2 sends.
        {"application/openmetrics-text;version=1.0.0,application/openmetrics-text;version=0.0.1;q=0.75,"
         "text/plain;version=0.0.4;q=0.5,*/*;q=0.1",
         openMetrics},
        {"application/openmetrics-text;version=0.0.1", prometheusText},  // a version not served
        {"application/openmetrics-text;q=0", prometheusText},
        {"application/openmetrics-text;q=0.3, text/plain;q=0.5", prometheusText},
        {"text/plain;q=0.5, application/openmetrics-text;q=0.5", openMetrics},
        {"application/openmetrics-text;q=abc", prometheusText},
    };
    for (const auto& c : cases)
        EXPECT_EQ(negotiateFormat(c.accept), c.expected) << c.accept.toStdString();
    EXPECT_EQ(contentType(prometheusText), "text/plain; version=0.0.4; charset=utf-8");
    EXPECT_EQ(contentType(openMetrics), "application/openmetrics-text; version=1.0.0; charset=utf-8");
}

TEST(ExpositionFormats, DifferOnlyInMetadataAndTheEnd) {
    const Snapshot s = test::criticalSnapshot();
    const QByteArray text = render(s, ExpositionFormat::prometheusText);
    const QByteArray om = render(s, ExpositionFormat::openMetrics);

    EXPECT_EQ(sampleLines(text), sampleLines(om)) << "the series and values are the same";
    EXPECT_TRUE(om.endsWith("\n# EOF\n"));
    EXPECT_FALSE(text.contains("# EOF"));

    // Counters: the text format names the family with its suffix, OpenMetrics without.
    EXPECT_TRUE(text.contains("\n# TYPE velmora_disk_read_bytes_total counter\n"));
    EXPECT_TRUE(om.contains("\n# TYPE velmora_disk_read_bytes counter\n"));
    EXPECT_EQ(samples(om, "velmora_disk_read_bytes_total"), samples(text, "velmora_disk_read_bytes_total"));
    // The build information is an info family in OpenMetrics and a gauge in the text format.
    EXPECT_TRUE(text.startsWith("# HELP velmora_build_info "));
    EXPECT_TRUE(text.contains("# TYPE velmora_build_info gauge\n"));
    EXPECT_TRUE(om.contains("# TYPE velmora_build info\n"));
    // Units are stated in OpenMetrics only.
    EXPECT_TRUE(om.contains("# UNIT velmora_memory_used_bytes bytes\n"));
    EXPECT_FALSE(text.contains("# UNIT"));
}

TEST(ExpositionFigures, UnitsAndLabels) {
    const Snapshot s = test::calmSnapshot();
    const QByteArray text = render(s);
    const struct {
        QByteArray series, line;
    } cases[] = {
        {"velmora_cpu_busy_ratio", "velmora_cpu_busy_ratio 0.075"},
        {"velmora_cpu_core_busy_ratio", "velmora_cpu_core_busy_ratio{core=\"2\",kind=\"efficiency\"} 0.025"},
        {"velmora_memory_total_bytes", "velmora_memory_total_bytes 17179869184"},
        {"velmora_memory_used_ratio", "velmora_memory_used_ratio 0.375"},
        {"velmora_filesystem_used_ratio", "velmora_filesystem_used_ratio{volume=\"/\"} 0.4"},
        {"velmora_disk_written_bytes_per_second", "velmora_disk_written_bytes_per_second 4096.5"},
        {"velmora_network_transmit_bytes_total", "velmora_network_transmit_bytes_total 250000"},
        {"velmora_temperature_celsius", "velmora_temperature_celsius{sensor=\"nvme Composite #2\"} 36.85"},
        {"velmora_power_watts", "velmora_power_watts{component=\"cpu\"} 3.5"},
        {"velmora_fan_speed_rpm", "velmora_fan_speed_rpm{fan=\"1\"} 0"},
        {"velmora_battery_time_to_empty_seconds", "velmora_battery_time_to_empty_seconds 14700"},
        {"velmora_battery_health_ratio", "velmora_battery_health_ratio 0.915"},
        {"velmora_load_level", "velmora_load_level 0"},
        {"velmora_build_info", "velmora_build_info{version=\"0.1.0\"} 1"},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(samples(text, c.series).contains(c.line)) << c.line.toStdString() << "\n"
                                                              << text.toStdString();
    EXPECT_EQ(samples(text, "velmora_cpu_core_busy_ratio").size(), 4);
    EXPECT_EQ(samples(text, "velmora_temperature_celsius").size(), 3)
        << "a repeated name stays its own series";
    EXPECT_EQ(samples(text, "velmora_fan_target_rpm").size(), 1)
        << "a fan without a target has no target series";
    EXPECT_EQ(samples(render(test::criticalSnapshot()), "velmora_load_level").value(0),
              "velmora_load_level 3");

    // A core beyond the known layout still gets a kind.
    Snapshot more = s;
    more.cpuPerCore.push_back(50);
    EXPECT_TRUE(samples(render(more), "velmora_cpu_core_busy_ratio")
                    .contains("velmora_cpu_core_busy_ratio{core=\"4\",kind=\"other\"} 0.5"));
}

TEST(ExpositionFigures, AbsentReadingsAreAbsentSeries) {
    const struct {
        const char* what;
        std::function<void(Snapshot&)> remove;
        QList<QByteArray> gone;
    } cases[] = {
        {"no battery",
         [](Snapshot& s) { s.battery = {}; },
         {"velmora_battery_charge_ratio", "velmora_battery_charging", "velmora_battery_ac_power",
          "velmora_battery_cycles"}},
        {"no estimate",
         [](Snapshot& s) { s.battery.timeToEmptyMin.reset(); },
         {"velmora_battery_time_to_empty_seconds"}},
        {"no health", [](Snapshot& s) { s.battery.healthPercent.reset(); }, {"velmora_battery_health_ratio"}},
        {"no temperatures",
         [](Snapshot& s) {
             s.cpuTempC.reset();
             s.gpuTempC.reset();
             s.hottestC.reset();
             s.sensors.clear();
         },
         {"velmora_cpu_temperature_celsius", "velmora_gpu_temperature_celsius",
          "velmora_hottest_temperature_celsius", "velmora_temperature_celsius"}},
        {"no power", [](Snapshot& s) { s.cpuPowerW.reset(); }, {"velmora_power_watts"}},
        {"no fans",
         [](Snapshot& s) { s.fans.clear(); },
         {"velmora_fan_speed_rpm", "velmora_fan_target_rpm", "velmora_fan_min_rpm", "velmora_fan_max_rpm"}},
        {"memory unread",
         [](Snapshot& s) { s.memTotal = 0; },
         {"velmora_memory_total_bytes", "velmora_memory_used_bytes", "velmora_memory_used_ratio",
          "velmora_swap_used_bytes"}},
        {"volume unread",
         [](Snapshot& s) { s.diskTotal = 0; },
         {"velmora_filesystem_size_bytes", "velmora_filesystem_used_bytes", "velmora_filesystem_used_ratio"}},
        {"cores unread", [](Snapshot& s) { s.cpuPerCore.clear(); }, {"velmora_cpu_core_busy_ratio"}},
    };
    for (const auto& c : cases) {
        Snapshot s = test::calmSnapshot();
        const QByteArray before = render(s);
        c.remove(s);
        const QByteArray after = render(s);
        for (const QByteArray& name : c.gone) {
            EXPECT_FALSE(samples(before, name).isEmpty()) << c.what << ": " << name.toStdString();
            EXPECT_TRUE(samples(after, name).isEmpty()) << c.what << ": " << name.toStdString();
            EXPECT_FALSE(after.contains("# TYPE " + name + ' ')) << "no empty family: " << name.toStdString();
        }
    }
}

TEST(ExpositionFigures, AMachineWithoutAGpuHasNoGpuUtilisation) {
    // The snapshot's GPU figure is 0 on such a machine; only the context knows it is no reading.
    Snapshot s = test::calmSnapshot();
    s.gpuPercent = 0;
    ExpositionContext noGpu = test::shapeContext();
    noGpu.gpu = false;
    for (const ExpositionFormat f : {ExpositionFormat::prometheusText, ExpositionFormat::openMetrics}) {
        EXPECT_EQ(samples(render(s, f), "velmora_gpu_busy_ratio"),
                  QList<QByteArray>{"velmora_gpu_busy_ratio 0"});
        const QByteArray out = render(s, f, noGpu);
        EXPECT_TRUE(samples(out, "velmora_gpu_busy_ratio").isEmpty());
        EXPECT_FALSE(out.contains("velmora_gpu_busy_ratio"));
        EXPECT_FALSE(samples(out, "velmora_gpu_temperature_celsius").isEmpty())
            << "a sensor's reading stays whatever the device list says";
    }
}

TEST(ExpositionFigures, NothingPublishedYetShowsOnlyTheBuild) {
    for (const ExpositionFormat f : {ExpositionFormat::prometheusText, ExpositionFormat::openMetrics}) {
        const QByteArray out = render(nullptr, f);
        const QList<QByteArray> lines = sampleLines(out);
        ASSERT_EQ(lines.size(), 1) << out.toStdString();
        EXPECT_TRUE(lines[0].startsWith("velmora_build_info{"));
    }
}

TEST(ExpositionProcesses, BusiestFirstEachPidOnceUpToTheLimit) {
    Snapshot s;
    s.processes = test::oddProcesses();
    s.processes.push_back(
        {.pid = 90, .name = "not a number", .cpu = std::numeric_limits<double>::quiet_NaN()});
    const struct {
        int limit;
        std::vector<int32_t> pids;
    } cases[] = {
        {0, {}}, {-3, {}}, {1, {4242}}, {3, {4242, 77, 78}}, {100, {4242, 77, 78, 79, 80, 81, 82, 1, 90}},
    };
    for (const auto& c : cases) {
        std::vector<int32_t> pids;
        for (const ProcInfo* p : busiestProcesses(s, c.limit))
            pids.push_back(p->pid);
        EXPECT_EQ(pids, c.pids) << "limit " << c.limit;
    }
    EXPECT_EQ(busiestProcesses(s, 1).front()->name, "say \"hello\"") << "the busier entry of a pid wins";

    const QByteArray text = render(s, ExpositionFormat::prometheusText, test::shapeContext(2));
    EXPECT_EQ(
        samples(text, "velmora_process_cpu_ratio"),
        (QList<QByteArray>{"velmora_process_cpu_ratio{pid=\"4242\",name=\"say \\\"hello\\\"\"} 1.8",
                           "velmora_process_cpu_ratio{pid=\"77\",name=\"C:\\\\path\\\\tool.exe\"} 0.12"}));
    EXPECT_TRUE(samples(render(s, ExpositionFormat::prometheusText, test::shapeContext(0)),
                        "velmora_process_cpu_ratio")
                    .isEmpty())
        << "no processes unless asked for";
}
