// Cost of serving the figures: rendering one scrape of a full snapshot in each format (target:
// under 200 µs), and the copy handed to the server per published snapshot.
#include "export/exposition.h"
#include "export/metrics_server.h"
#include "export/request_scanner.h"

#include <benchmark/benchmark.h>

using namespace velmora;

namespace {

// 16 cores, 40 sensors, 2 fans, a battery and `processes` processes.
Snapshot fullSnapshot(int processes) {
    Snapshot s;
    s.cpuTotal = 37.5;
    for (int i = 0; i < 16; ++i)
        s.cpuPerCore.push_back(3.0 * i + 0.25);
    s.memUsed = 11ull << 30;
    s.memTotal = 32ull << 30;
    s.memCompressed = 1ull << 30;
    s.swapUsed = 300ull << 20;
    s.memPercent = 34.4;
    s.diskUsed = 420ull << 30;
    s.diskTotal = 1000ull << 30;
    s.diskPercent = 42;
    s.diskReadBps = 1.5e6;
    s.diskWriteBps = 3.25e5;
    s.diskReadBytes = 91'234'567'890;
    s.diskWrittenBytes = 45'678'901'234;
    s.gpuPercent = 12;
    s.netInBps = 2.5e5;
    s.netOutBps = 4.2e4;
    s.netInBytes = 7'000'000'000;
    s.netOutBytes = 900'000'000;
    s.battery.present = true;
    s.battery.percent = 71;
    s.battery.timeToEmptyMin = 190;
    s.battery.cycleCount = 402;
    s.battery.healthPercent = 88.5;
    s.fans = {{.rpm = 2100, .target = 2100, .minRPM = 1200, .maxRPM = 6000},
              {.rpm = 2300, .target = 2300, .minRPM = 1200, .maxRPM = 6000}};
    s.cpuTempC = 61.5;
    s.gpuTempC = 55;
    s.hottestC = 68;
    s.cpuPowerW = 14.2;
    s.gpuPowerW = 6.1;
    for (int i = 0; i < 40; ++i)
        s.sensors.push_back({QStringLiteral("coretemp Core %1").arg(i), 40.0 + i * 0.7});
    for (int i = 0; i < processes; ++i)
        s.processes.push_back({.pid = 1000 + i,
                               .name = QStringLiteral("process \"%1\" \\ worker").arg(i),
                               .cpu = 100.0 - i * 0.2,
                               .memBytes = uint64_t(i + 1) << 22,
                               .diskReadBps = 1000.0 * i});
    return s;
}

ExpositionContext context(int processes) {
    ExpositionContext c;
    for (int i = 0; i < 16; ++i)
        c.coreKinds.push_back(i < 8 ? QStringLiteral("performance") : QStringLiteral("efficiency"));
    c.version = QStringLiteral("0.1.0");
    c.processLimit = processes;
    c.gpu = true;
    return c;
}

void renderScrape(benchmark::State& state, ExpositionFormat format) {
    const Snapshot s = fullSnapshot(50);
    const ExpositionContext c = context(50);
    QByteArray out;
    for (auto _ : state) {
        renderExposition(&s, c, format, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
}

}  // namespace

static void BM_RenderScrapeText(benchmark::State& state) {
    renderScrape(state, ExpositionFormat::prometheusText);
}
BENCHMARK(BM_RenderScrapeText)->Unit(benchmark::kMicrosecond);

static void BM_RenderScrapeOpenMetrics(benchmark::State& state) {
    renderScrape(state, ExpositionFormat::openMetrics);
}
BENCHMARK(BM_RenderScrapeOpenMetrics)->Unit(benchmark::kMicrosecond);

// What each published snapshot costs the GUI thread while serving: a copy with the busiest
// `processLimit` of 400 processes.
static void BM_PublishToServer(benchmark::State& state) {
    MetricsServer server(context(static_cast<int>(state.range(0))));
    const Snapshot s = fullSnapshot(400);
    for (auto _ : state)
        server.publish(s);
}
BENCHMARK(BM_PublishToServer)->Arg(0)->Arg(50)->Unit(benchmark::kMicrosecond);

// What the server's front adds to each request: scanning a scraper's request head, as
// Prometheus sends it, before the HTTP module parses it.
static void BM_ScanRequestHead(benchmark::State& state) {
    const QByteArray head =
        "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:9464\r\nUser-Agent: Prometheus/2.42.0\r\n"
        "Accept: application/openmetrics-text;version=1.0.0,application/openmetrics-text;"
        "version=0.0.1;q=0.75,text/plain;version=0.0.4;q=0.5,*/*;q=0.1\r\n"
        "Accept-Encoding: gzip\r\nX-Prometheus-Scrape-Timeout-Seconds: 10\r\n\r\n";
    for (auto _ : state) {
        RequestScanner scanner;
        scanner.feed(head);
        benchmark::DoNotOptimize(scanner.takeHead());
    }
}
BENCHMARK(BM_ScanRequestHead)->Unit(benchmark::kMicrosecond);
