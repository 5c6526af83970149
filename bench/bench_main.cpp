// Benchmarks get a Qt core application, as the engine and its services expect one.
#include <QCoreApplication>
#if defined(VELMORA_BENCH_WIDGETS)
#include <QApplication>
#endif
#include <QStandardPaths>

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    QStandardPaths::setTestModeEnabled(true);
#if defined(VELMORA_BENCH_WIDGETS)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
