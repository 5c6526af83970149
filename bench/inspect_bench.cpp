// Cost of the inspector's periodic work on Linux: the connection list (every 2 s), and the
// open-file list and footprint (every 6 s), including a process holding 100 000 descriptors.
#if defined(__linux__)

#include "inspect/linux/native_collector.h"
#include "inspect/tool_parsers.h"
#include "platform/linux/proc_files_linux.h"
#include "platform/linux/sock_diag.h"

#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <memory>

using namespace velmora;

namespace {

constexpr int kDescriptors = 100000;

// A /proc tree whose pid 1000 holds kDescriptors open files.
const QTemporaryDir& manyDescriptors() {
    static QTemporaryDir* root = [] {
        auto* dir = new QTemporaryDir;
        QDir().mkpath(dir->filePath("1000/fd"));
        QFile f(dir->filePath("data"));
        f.open(QIODevice::WriteOnly);
        const QByteArray target = dir->filePath("data").toLocal8Bit();
        const QByteArray fdDir = dir->filePath("1000/fd/").toLocal8Bit();
        for (int i = 0; i < kDescriptors; ++i)
            if (::symlink(target.constData(), (fdDir + QByteArray::number(i)).constData()) != 0) break;
        return dir;
    }();
    return *root;
}

// This process holding `count` loopback connections, for as long as the object lives.
class LoopbackConnections {
  public:
    explicit LoopbackConnections(int count) {
        server_.listen(QHostAddress::LocalHost);
        for (int i = 0; i < count; ++i) {
            clients_.push_back(std::make_unique<QTcpSocket>());
            clients_.back()->connectToHost(QHostAddress::LocalHost, server_.serverPort());
            clients_.back()->waitForConnected(1000);
        }
    }

  private:
    QTcpServer server_;
    std::vector<std::unique_ptr<QTcpSocket>> clients_;
};

}  // namespace

// The descriptor walk as the connection list does it (sockets only), and as the open-file
// list does it (every file link followed): the ratio is what skipping fstat saves.
static void BM_FdScanSocketsOnly(benchmark::State& state) {
    platform::LinuxProcFiles files(manyDescriptors().path().toStdString());
    platform::FdScan scan;
    for (auto _ : state)
        benchmark::DoNotOptimize(files.scanFds(1000, false, 0, scan));
}
BENCHMARK(BM_FdScanSocketsOnly)->Unit(benchmark::kMillisecond);

static void BM_OpenFiles100k(benchmark::State& state) {
    NativeCollector collector(manyDescriptors().path().toStdString());
    for (auto _ : state)
        benchmark::DoNotOptimize(collector.openFiles(1000));
}
BENCHMARK(BM_OpenFiles100k)->Unit(benchmark::kMillisecond);

// This process with 64 loopback connections: one refresh of the connection list.
static void BM_ConnectionsOfThisProcess(benchmark::State& state) {
    const LoopbackConnections connections(64);
    NativeCollector collector("/proc");
    for (auto _ : state)
        benchmark::DoNotOptimize(collector.connections(getpid()));
}
BENCHMARK(BM_ConnectionsOfThisProcess)->Unit(benchmark::kMicrosecond);

// Where the connection list's sockets come from, with the same 64 connections open: the
// four text tables, or the socket-diagnostics dump for TCP and the text tables for UDP.
static void BM_SocketsFromTextTables(benchmark::State& state) {
    const LoopbackConnections connections(64);
    platform::LinuxProcFiles files;
    std::vector<platform::InetEntry> table;
    for (auto _ : state) {
        table.clear();
        benchmark::DoNotOptimize(files.inetSockets(getpid(), true, true, table));
    }
}
BENCHMARK(BM_SocketsFromTextTables)->Unit(benchmark::kMicrosecond);

static void BM_SocketsFromDiagnostics(benchmark::State& state) {
    const LoopbackConnections connections(64);
    platform::LinuxProcFiles files;
    platform::SockDiag diag;
    std::vector<platform::InetSocket> tcp;
    std::vector<platform::InetEntry> table;
    for (auto _ : state) {
        table.clear();
        benchmark::DoNotOptimize(diag.tcpSockets(tcp));
        benchmark::DoNotOptimize(files.inetSockets(getpid(), false, true, table));
    }
}
BENCHMARK(BM_SocketsFromDiagnostics)->Unit(benchmark::kMicrosecond);

static void BM_FootprintOfThisProcess(benchmark::State& state) {
    NativeCollector collector("/proc");
    for (auto _ : state)
        benchmark::DoNotOptimize(collector.memory(getpid()));
}
BENCHMARK(BM_FootprintOfThisProcess)->Unit(benchmark::kMicrosecond);

// The open-file tool's field output for a process with 100 000 files.
static void BM_LsofFieldOutput100k(benchmark::State& state) {
    QString out = QStringLiteral("p1\n");
    for (int i = 0; i < kDescriptors; ++i)
        out += QStringLiteral("f%1\ntREG\nn/Users/me/Library/Caches/file-%1\n").arg(i);
    for (auto _ : state)
        benchmark::DoNotOptimize(parseLsofFieldOutput(out, std::nullopt));
}
BENCHMARK(BM_LsofFieldOutput100k)->Unit(benchmark::kMillisecond);

#endif
