#include "app/command_line.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct Unit {
    const char* file;
    bool user;
};
const Unit kUnits[] = {{"velmora-exporter.user.service.in", true},
                       {"velmora-exporter.system.service.in", false}};

QString unitText(const char* file, const QString& binary) {
    QFile f(QStringLiteral(VELMORA_SOURCE_DIR "/packaging/") + QLatin1StringView(file));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).replace(QStringLiteral("@VELMORA_BIN@"), binary);
}

}  // namespace

TEST(ExporterUnits, RunTheHeadlessExporterOnTheLoopbackAddress) {
    for (const Unit& unit : kUnits) {
        const QString text = unitText(unit.file, QStringLiteral("/usr/bin/velmora"));
        ASSERT_FALSE(text.isEmpty()) << unit.file;
        const auto m =
            QRegularExpression(QStringLiteral("^ExecStart=(.*)$"), QRegularExpression::MultilineOption)
                .match(text);
        ASSERT_TRUE(m.hasMatch()) << unit.file;
        const QStringList command = m.captured(1).split(u' ', Qt::SkipEmptyParts);
        const CommandLine line = parseCommandLine(command);
        ASSERT_EQ(line.mode, CommandLine::Mode::headless)
            << unit.file << ": " << refusalText(line.refusal).toStdString();
        ASSERT_TRUE(line.options.serve.has_value()) << unit.file;
        EXPECT_FALSE(line.options.print) << unit.file;
        EXPECT_TRUE(line.options.serve->address.address.isLoopback())
            << "listening further is the user's choice";
    }
}

#ifdef VELMORA_BINARY
TEST(ExporterUnits, SystemdAcceptsThem) {
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty()) GTEST_SKIP() << "systemd-analyze is not installed";
    for (const Unit& unit : kUnits) {
        QTemporaryDir dir;
        QFile out(dir.filePath(QStringLiteral("velmora-exporter.service")));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(unitText(unit.file, QStringLiteral(VELMORA_BINARY)).toUtf8());
        out.close();
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        // The user manager's folder, which a user unit is checked against.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QDir().mkpath(dir.filePath(QStringLiteral("run")));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        p.setProcessEnvironment(env);
        QStringList args;
        if (unit.user) args << "--user";
        args << "verify" << out.fileName();
        p.start(analyze, args);
        ASSERT_TRUE(p.waitForFinished(30000));
        const QByteArray said = p.readAll();
        EXPECT_EQ(p.exitCode(), 0) << unit.file << ":\n" << said.toStdString();
        EXPECT_FALSE(said.contains("velmora-exporter.service:")) << unit.file << ":\n" << said.toStdString();
    }
}
#endif
