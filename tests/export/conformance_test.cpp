// Every snapshot shape, rendered in both formats, checked by the tools that define them:
// promtool for the 0.0.4 text format, the OpenMetrics parser of the Prometheus Python client
// for OpenMetrics 1.0.0.
#include "export/exposition.h"

#include "export/snapshot_shapes.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray output;
};

ToolRun runWithInput(const QString& program, const QStringList& args, const QByteArray& input) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(10000)) return {};
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAll()};
}

const char* kOpenMetricsCheck =
    "import sys\n"
    "from prometheus_client.openmetrics.parser import text_string_to_metric_families as parse\n"
    "families = list(parse(sys.stdin.read()))\n"
    "print(len(families), 'families')\n";

bool pythonClientPresent() {
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) &&
           runWithInput(QStringLiteral("/usr/bin/python3"), {"-c", "import prometheus_client"}, {})
                   .exitCode == 0;
}

}  // namespace

TEST(Conformance, PromtoolAcceptsEveryShape) {
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus; make test installs it)";
    for (const test::SnapshotShape& shape : test::everyShape()) {
        QByteArray text;
        renderExposition(&shape.snapshot, test::shapeContext(), ExpositionFormat::prometheusText, text);
        const ToolRun run = runWithInput(promtool, {"check", "metrics"}, text);
        EXPECT_EQ(run.exitCode, 0) << shape.name << ":\n"
                                   << run.output.toStdString() << "\n"
                                   << text.toStdString();
    }
}

TEST(Conformance, OpenMetricsParserAcceptsEveryShape) {
    if (!pythonClientPresent())
        GTEST_SKIP()
            << "the Prometheus Python client is not installed (Debian package python3-prometheus-client; "
               "make test installs it)";
    for (const test::SnapshotShape& shape : test::everyShape()) {
        QByteArray om;
        renderExposition(&shape.snapshot, test::shapeContext(), ExpositionFormat::openMetrics, om);
        const ToolRun run = runWithInput(QStringLiteral("/usr/bin/python3"), {"-c", kOpenMetricsCheck}, om);
        EXPECT_EQ(run.exitCode, 0) << shape.name << ":\n"
                                   << run.output.toStdString() << "\n"
                                   << om.toStdString();
    }
}

TEST(Conformance, ToolsRejectWhatTheyShould) {
    // The checks above are only worth something if the tools object to a broken scrape.
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (!promtool.isEmpty()) {
        EXPECT_NE(runWithInput(promtool, {"check", "metrics"}, "# TYPE x_total counter\nx_total{a=\"b} 1\n")
                      .exitCode,
                  0);
    }
    if (pythonClientPresent()) {
        QByteArray om;
        const Snapshot s = test::calmSnapshot();
        renderExposition(&s, test::shapeContext(), ExpositionFormat::openMetrics, om);
        om.chop(QByteArray("# EOF\n").size());
        EXPECT_NE(runWithInput(QStringLiteral("/usr/bin/python3"), {"-c", kOpenMetricsCheck}, om).exitCode, 0)
            << "without its end marker";
    }
}
