// One dashboard chart card per tick, drawn two ways: the QPainter time chart the windows
// use, and the same card on Qt Charts (an area series on date-time and value axes). Each
// iteration is what a visible card costs every second: one new point, the 300 s window
// moved on, one frame rendered. Run offscreen.
#include "ui/common/time_chart.h"

#include <QApplication>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QValueAxis>

#include <benchmark/benchmark.h>

#include <cmath>
#include <deque>

using namespace velmora;

namespace {

constexpr int kHistory = 600;  // the engine keeps ten minutes
constexpr QSize kCard(360, 120);

// A CPU-like curve: a slow wave with some noise, one point a second.
double valueAt(int i) {
    return 40 + 30 * std::sin(i / 37.0) + 10 * std::sin(i * 1.7);
}

TimePoint secondAt(int i) {
    return TimePoint{} + std::chrono::hours(24 * 365 * 50) + std::chrono::seconds(i);
}

// One card's frames over a sliding ten-minute series; with `axes`, its scale named and its
// time marked, as the dashboard draws it: the texts are made once and drawn from their
// prepared layout every frame after.
void runCard(benchmark::State& state, bool axes) {
    TimeChart chart(nullptr, 300);
    chart.resize(kCard);
    chart.setMaxY(100.0);
    if (axes) {
        chart.setAxisUnit(AxisUnit::percent);
        chart.setTimeMarkTexts({QStringLiteral("now"), QStringLiteral("−{0} s"), QStringLiteral("−{0} min"),
                                QStringLiteral("−{0} h")});
    }
    std::vector<MetricPoint> points;
    for (int i = 0; i < kHistory; ++i)
        points.push_back({{}, secondAt(i), valueAt(i)});
    QImage frame(kCard, QImage::Format_ARGB32_Premultiplied);
    int next = kHistory;
    for (auto _ : state) {
        points.erase(points.begin());
        points.push_back({{}, secondAt(next), valueAt(next)});
        ++next;
        chart.setSeries({{points, Qt::green, true}});
        frame.fill(Qt::transparent);
        chart.render(&frame);
        benchmark::DoNotOptimize(frame.bits());
    }
    if (axes) state.counters["axis_texts_made"] = chart.axisTextsMade();
}

void BM_CardTimeChart(benchmark::State& state) {
    runCard(state, false);
}
BENCHMARK(BM_CardTimeChart)->Unit(benchmark::kMicrosecond);

void BM_CardTimeChartWithAxes(benchmark::State& state) {
    runCard(state, true);
}
BENCHMARK(BM_CardTimeChartWithAxes)->Unit(benchmark::kMicrosecond);

void BM_CardQtCharts(benchmark::State& state) {
    auto* upper = new QLineSeries;
    auto* area = new QAreaSeries(upper);
    area->setColor(QColor(0, 200, 0, 64));
    area->setBorderColor(Qt::green);
    auto* chart = new QChart;
    chart->addSeries(area);
    chart->legend()->hide();
    chart->setMargins(QMargins(0, 0, 0, 0));
    chart->setBackgroundRoundness(0);
    auto* xAxis = new QDateTimeAxis;
    auto* yAxis = new QValueAxis;
    yAxis->setRange(0, 100);
    xAxis->setVisible(false);
    yAxis->setLabelsVisible(false);
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    area->attachAxis(xAxis);
    area->attachAxis(yAxis);
    QChartView view(chart);
    view.setRenderHint(QPainter::Antialiasing);
    view.resize(kCard);

    auto msAt = [](int i) { return double(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                secondAt(i).time_since_epoch())
                                                .count()); };
    QList<QPointF> points;
    for (int i = 0; i < kHistory; ++i)
        points.append(QPointF(msAt(i), valueAt(i)));
    QImage frame(kCard, QImage::Format_ARGB32_Premultiplied);
    int next = kHistory;
    for (auto _ : state) {
        points.removeFirst();
        points.append(QPointF(msAt(next), valueAt(next)));
        ++next;
        upper->replace(points);
        xAxis->setRange(QDateTime::fromMSecsSinceEpoch(qint64(msAt(next - 300))),
                        QDateTime::fromMSecsSinceEpoch(qint64(msAt(next - 1))));
        frame.fill(Qt::transparent);
        view.QWidget::render(&frame);  // the widget as the screen shows it
        benchmark::DoNotOptimize(frame.bits());
    }
}
BENCHMARK(BM_CardQtCharts)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
