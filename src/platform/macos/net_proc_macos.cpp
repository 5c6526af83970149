// Per-process traffic from the network-statistics command: two samples a second apart.
#include "platform/net_proc.h"
#include "platform/process.h"

#include <QProcess>

namespace velmora::platform {

namespace {

constexpr int kPollMs = 100;

class MacNetProcSource : public NetProcSource {
  public:
    std::optional<std::vector<ProcNet>> measure(const Interrupt::Token& stop) override {
        QProcess nettop;
        nettop.setProgram(QStringLiteral("/usr/bin/nettop"));
        nettop.setArguments({QStringLiteral("-P"), QStringLiteral("-x"), QStringLiteral("-n"),
                             QStringLiteral("-l"), QStringLiteral("2"), QStringLiteral("-J"),
                             QStringLiteral("bytes_in,bytes_out")});
        nettop.setProcessEnvironment(toolEnvironment());
        nettop.setStandardErrorFile(QProcess::nullDevice());
        nettop.start();
        if (!nettop.waitForStarted()) return std::nullopt;
        // Polled, so stop() can end the command while it runs.
        while (!nettop.waitForFinished(kPollMs)) {
            if (nettop.state() == QProcess::NotRunning) break;
            if (stop.stopped()) {
                nettop.kill();
                nettop.waitForFinished();
                break;
            }
        }
        // Only a command that cannot start is a failed run: a process name cut inside a
        // character costs no more than its own line.
        return parseNetTop(decodeLinesLossy(nettop.readAllStandardOutput()));
    }
};

}  // namespace

std::unique_ptr<NetProcSource> makeNetProcSource() {
    return std::make_unique<MacNetProcSource>();
}

}  // namespace velmora::platform
