#include "platform/linux/process_facts_linux.h"
#include "platform/linux/file_util.h"
#include "platform/linux/proc_files_linux.h"
#include "platform/process_facts.h"

#include "support/test_util.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

using namespace velmora;
using namespace velmora::platform;

namespace {

std::string elfHeader(unsigned char cls, unsigned char data, unsigned machine) {
    std::string h(20, '\0');
    h[0] = '\x7f';
    h[1] = 'E';
    h[2] = 'L';
    h[3] = 'F';
    h[4] = static_cast<char>(cls);
    h[5] = static_cast<char>(data);
    h[18] = static_cast<char>(data == 1 ? machine & 0xff : machine >> 8);
    h[19] = static_cast<char>(data == 1 ? machine >> 8 : machine & 0xff);
    return h;
}

void symlinkTo(const QString& target, const QString& link) {
    QDir().mkpath(QFileInfo(link).absolutePath());
    ASSERT_EQ(::symlink(target.toLocal8Bit().constData(), link.toLocal8Bit().constData()), 0)
        << link.toStdString();
}

QByteArray statLine(int pid, const char* comm, char state, int ppid, uint64_t starttime) {
    return QStringLiteral("%1 (%2) %3 %4 1 1 0 -1 0 0 0 0 0 300 200 0 0 20 0 7 0 %5 104857600 2560 0 0 0\n")
        .arg(pid)
        .arg(QString::fromUtf8(comm))
        .arg(QChar::fromLatin1(state))
        .arg(ppid)
        .arg(starttime)
        .toUtf8();
}

}  // namespace

TEST(ProcessDecode, ElfArchitectureTexts) {
    EXPECT_EQ(elfArchText(elfHeader(2, 1, 62)), "x86_64");
    EXPECT_EQ(elfArchText(elfHeader(1, 1, 3)), "i386 (32-bit)");
    EXPECT_EQ(elfArchText(elfHeader(2, 1, 183)), "arm64");
    EXPECT_EQ(elfArchText(elfHeader(1, 1, 40)), "arm (32-bit)");
    EXPECT_EQ(elfArchText(elfHeader(2, 2, 21)), "ppc64") << "big-endian machine field";
    EXPECT_EQ(elfArchText(elfHeader(2, 1, 21)), "ppc64le");
    EXPECT_EQ(elfArchText(elfHeader(2, 1, 9999)), "-");
    EXPECT_EQ(elfArchText("#!/bin/sh\nexec true\n"), "-");
    EXPECT_EQ(elfArchText(elfHeader(2, 1, 62).substr(0, 19)), "-") << "truncated";
    EXPECT_EQ(elfArchText(""), "-");
}

TEST(LinuxProcessFacts, StateLettersMapToStates) {
    EXPECT_EQ(LinuxProcessFacts::stateFromLetter('R'), ProcRunState::running);
    EXPECT_EQ(LinuxProcessFacts::stateFromLetter('S'), ProcRunState::sleeping);
    EXPECT_EQ(LinuxProcessFacts::stateFromLetter('D'), ProcRunState::sleeping);
    EXPECT_EQ(LinuxProcessFacts::stateFromLetter('I'), ProcRunState::idle);
    EXPECT_EQ(LinuxProcessFacts::stateFromLetter('T'), ProcRunState::stopped);
    EXPECT_EQ(LinuxProcessFacts::stateFromLetter('t'), ProcRunState::stopped);
    EXPECT_EQ(LinuxProcessFacts::stateFromLetter('Z'), ProcRunState::zombie);
    EXPECT_EQ(LinuxProcessFacts::stateFromLetter('X'), ProcRunState::unknown);
}

TEST(LinuxProcessFacts, LongNamesAreRecoveredFromTheExecutable) {
    EXPECT_EQ(LinuxProcessFacts::displayName("gnome-session-b", "/usr/libexec/gnome-session-binary", ""),
              "gnome-session-binary");
    EXPECT_EQ(LinuxProcessFacts::displayName("gdm-session-wor", "", "gdm-session-worker [pam/gdm]"),
              "gdm-session-worker")
        << "argv[0] when the executable cannot be read, without the description a program put there";
    EXPECT_EQ(LinuxProcessFacts::displayName("bash", "/usr/bin/bash-5", ""), "bash")
        << "short names are whole";
    EXPECT_EQ(LinuxProcessFacts::displayName("abcdefghijklmno", "/usr/bin/other-name-entirely", ""),
              "abcdefghijklmno");
}

TEST(LinuxProcessFacts, FactsFromAFixtureTree) {
    QTemporaryDir root;
    test::writeFile(root, "stat", "cpu  1 2 3 4\nbtime 1700000000\nprocesses 5\n");
    const long ticks = sysconf(_SC_CLK_TCK);
    test::writeFile(root, "4242/stat", statLine(4242, "editor (beta)", 'T', 77, 250 * ticks));
    test::writeFile(root, "4242/status", "Name:\teditor\nUid:\t1000\t1001\t1000\t1000\nGid:\t1\t1\t1\t1\n");
    test::writeFile(root, "4242/cmdline", QByteArray("/opt/ed/editor\0--open\0my file.txt\0", 34));
    test::writeFile(root, "bin/editor", QByteArray::fromStdString(elfHeader(2, 1, 183)) + "rest");
    symlinkTo(root.filePath("bin/editor"), root.filePath("4242/exe"));

    LinuxProcessFacts source(root.path().toStdString());
    const auto f = source.facts(4242);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->pid, 4242);
    EXPECT_EQ(f->name, "editor (beta)");
    EXPECT_EQ(f->path, root.filePath("bin/editor").toStdString());
    EXPECT_EQ(f->ppid, 77);
    EXPECT_EQ(f->uid, 1001u) << "the effective uid";
    EXPECT_EQ(f->startEpochSec, 1700000000 + 250);
    EXPECT_EQ(f->state, ProcRunState::stopped);
    EXPECT_EQ(f->command, "/opt/ed/editor --open my file.txt");
    EXPECT_EQ(f->arch, "arm64");

    const auto c = source.counters(4242);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->threads, 7);
    EXPECT_EQ(c->virtualBytes, 104857600u);
    EXPECT_EQ(c->residentBytes, 2560u * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)));
    EXPECT_DOUBLE_EQ(c->cpuSeconds, 500.0 / static_cast<double>(ticks));
}

TEST(LinuxProcessFacts, UnreadablePartsGiveTheirFallbacks) {
    QTemporaryDir root;  // no <root>/stat: the start time is unknown
    test::writeFile(root, "9/stat", statLine(9, "kworker/0:1", 'I', 2, 100));
    test::writeFile(root, "9/status", "Uid:\t0\t0\t0\t0\n");
    test::writeFile(root, "9/cmdline", "");
    test::writeFile(root, "10/stat", statLine(10, "half", 'S', 1, 100));  // status vanished
    test::writeFile(root, "11/stat", "11 (broken");
    test::writeFile(root, "11/status", "Uid:\t0\t0\t0\t0\n");

    LinuxProcessFacts source(root.path().toStdString());
    const auto f = source.facts(9);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->name, "kworker/0:1");
    EXPECT_EQ(f->path, "") << "no exe link";
    EXPECT_EQ(f->command, "");
    EXPECT_EQ(f->arch, "-");
    EXPECT_EQ(f->startEpochSec, 0);
    EXPECT_EQ(f->state, ProcRunState::idle);
    EXPECT_FALSE(source.facts(10).has_value());
    EXPECT_FALSE(source.facts(11).has_value());
    EXPECT_FALSE(source.counters(11).has_value());
    EXPECT_FALSE(source.facts(12345).has_value());
    EXPECT_FALSE(source.facts(-1).has_value());
}

TEST(LinuxProcessFacts, ChildrenFromEveryThreadThenByParentScan) {
    QTemporaryDir root;
    test::writeFile(root, "100/task/100/children", "101 102 ");
    test::writeFile(root, "100/task/105/children", "103 102 1\n");  // a thread's own children
    LinuxProcessFacts source(root.path().toStdString());
    std::vector<int32_t> kids = source.childPids(100);
    std::sort(kids.begin(), kids.end());
    EXPECT_EQ(kids, (std::vector<int32_t>{101, 102, 103})) << "merged, each once, pid 1 dropped";

    QTemporaryDir scanRoot;  // a kernel without the children files
    test::writeFile(scanRoot, "200/task/200/stat", "");
    test::writeFile(scanRoot, "200/stat", statLine(200, "parent", 'S', 1, 1));
    test::writeFile(scanRoot, "202/stat", statLine(202, "b", 'S', 200, 1));
    test::writeFile(scanRoot, "201/stat", statLine(201, "a", 'S', 200, 1));
    test::writeFile(scanRoot, "203/stat", statLine(203, "other", 'S', 1, 1));
    LinuxProcessFacts scanning(scanRoot.path().toStdString());
    EXPECT_EQ(scanning.childPids(200), (std::vector<int32_t>{201, 202}));
    EXPECT_TRUE(scanning.childPids(999).empty());
}

TEST(LinuxProcessFacts, ReadsThisProcess) {
    LinuxProcessFacts source;
    const auto f = source.facts(getpid());
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->ppid, getppid());
    EXPECT_EQ(f->uid, geteuid());
    EXPECT_EQ(f->path, QFileInfo("/proc/self/exe").symLinkTarget().toStdString());
    EXPECT_EQ(f->name, QFileInfo(QString::fromStdString(f->path)).fileName().toStdString());
#if defined(__x86_64__)
    EXPECT_EQ(f->arch, "x86_64");
#elif defined(__aarch64__)
    EXPECT_EQ(f->arch, "arm64");
#endif
    EXPECT_GT(f->startEpochSec, 1500000000);
    EXPECT_EQ(f->state, ProcRunState::running);
    const auto c = source.counters(getpid());
    ASSERT_TRUE(c.has_value());
    EXPECT_GE(c->threads, 1);
    EXPECT_GT(c->residentBytes, 0u);
    EXPECT_GT(c->virtualBytes, c->residentBytes);
}

TEST(LinuxProcFiles, SocketTablesDecodeAddressesInNetworkOrder) {
    const std::string tcp =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 5001 1 0 "
        "100\n"
        "   1: 0200000A:C350 5DB8D822:01BB 01 00000000:00000000 02:00000A1C 00000000  1000        0 5002 2 0 "
        "20\n"
        "garbage line\n"
        "   2: ZZZZ:1 00000000:0000 0A 0 0 0 0 0 5003\n";
    std::vector<InetEntry> out;
    LinuxProcFiles::parseInetTable(tcp, AF_INET, false, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].inode, 5001u);
    EXPECT_EQ(out[0].state, 10);
    EXPECT_EQ(out[0].localPort, 8080);
    EXPECT_EQ((std::vector<uint8_t>(out[0].localAddr.begin(), out[0].localAddr.begin() + 4)),
              (std::vector<uint8_t>{127, 0, 0, 1}));
    EXPECT_EQ((std::vector<uint8_t>(out[1].remoteAddr.begin(), out[1].remoteAddr.begin() + 4)),
              (std::vector<uint8_t>{34, 216, 184, 93}));
    EXPECT_EQ(out[1].remotePort, 443);

    const std::string udp6 =
        "  sl  local_address                         remote_address                        st tx_queue "
        "rx_queue tr "
        "tm->when retrnsmt   uid  timeout inode ref pointer drops\n"
        "  5: 00000000000000000000000001000000:0035 00000000000000000000000000000000:0000 07 "
        "00000000:00000000 "
        "00:00000000 00000000   101        0 6001 2 0000000000000000 0\n";
    LinuxProcFiles::parseInetTable(udp6, AF_INET6, true, out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(out[2].udp);
    EXPECT_EQ(out[2].family, AF_INET6);
    EXPECT_EQ(out[2].localPort, 53);
    EXPECT_EQ(out[2].localAddr[15], 1) << "::1";
    EXPECT_EQ(out[2].localAddr[0], 0);
}

TEST(LinuxProcFiles, FdScanSortsLinksAndCountsBeyondWhatItKeeps) {
    QTemporaryDir root;
    test::writeFile(root, "data/a.txt", "x");
    test::writeFile(root, "data/b.txt", "y");
    QDir().mkpath(root.filePath("data/sub"));
    symlinkTo(root.filePath("data/a.txt"), root.filePath("7/fd/0"));
    symlinkTo(root.filePath("data/sub"), root.filePath("7/fd/1"));
    symlinkTo("socket:[777]", root.filePath("7/fd/2"));
    symlinkTo("pipe:[12]", root.filePath("7/fd/3"));
    symlinkTo("/dev/null", root.filePath("7/fd/4"));
    symlinkTo("anon_inode:[eventfd]", root.filePath("7/fd/5"));
    symlinkTo(root.filePath("data/b.txt"), root.filePath("7/fd/6"));
    symlinkTo("socket:[778]", root.filePath("7/fd/7"));
    symlinkTo(root.filePath("data/gone.txt"), root.filePath("7/fd/8"));  // closed while scanning

    LinuxProcFiles files(root.path().toStdString());
    FdScan scan;
    ASSERT_TRUE(files.scanFds(7, true, 1, scan));
    EXPECT_EQ(scan.fileCount, 3u) << "two files and a folder; devices, pipes and gone ones are not";
    EXPECT_EQ(scan.files.size(), 1u) << "kept only as many as asked";
    EXPECT_EQ(std::set<uint64_t>(scan.socketInodes.begin(), scan.socketInodes.end()),
              (std::set<uint64_t>{777, 778}));
    EXPECT_FALSE(scan.denied);
    EXPECT_FALSE(files.scanFds(8, true, 10, scan)) << "no such process";
    ASSERT_TRUE(files.scanFds(7, false, 10, scan));
    EXPECT_EQ(scan.fileCount, 0u) << "sockets only";
    EXPECT_EQ(scan.socketInodes.size(), 2u);
}

TEST(LinuxProcFiles, SmapsRegionsWithTheirSizes) {
    std::vector<std::pair<std::string, MemRegion>> regions;
    SmapsParser parser([&](const MemRegion& r) { regions.emplace_back(std::string(r.path), r); });
    const char* text =
        "55d0c0000000-55d0c0021000 rw-p 00000000 00:00 0                          [heap]\n"
        "Size:                132 kB\n"
        "Private_Clean:          4 kB\n"
        "Private_Dirty:         64 kB\n"
        "Swap:                   8 kB\n"
        "LazyFree:              12 kB\n"
        "VmFlags: rd wr mr mw me ac sd\n"
        "7f0000000000-7f0000100000 rw-s 00000000 00:01 42                         /dev/shm/my shared "
        "(deleted)\n"
        "Shared_Dirty:         16 kB\n"
        "Shared_Clean:         32 kB\n"
        "Bogus_Field:          nonsense\n"
        "7ffd00000000-7ffd00021000 rw-p 00000000 00:00 0\n"
        "Private_Dirty:          4 kB\n";
    linux_fs::forEachLine(text, [&](std::string_view line) { parser.line(line); });
    parser.finish();
    ASSERT_EQ(regions.size(), 3u);
    EXPECT_EQ(regions[0].first, "[heap]");
    EXPECT_FALSE(regions[0].second.shared);
    EXPECT_EQ(regions[0].second.privateDirty, 64u * 1024);
    EXPECT_EQ(regions[0].second.privateClean, 4u * 1024);
    EXPECT_EQ(regions[0].second.swap, 8u * 1024);
    EXPECT_EQ(regions[0].second.lazyFree, 12u * 1024);
    EXPECT_EQ(regions[1].first, "/dev/shm/my shared (deleted)") << "paths keep their spaces";
    EXPECT_TRUE(regions[1].second.shared);
    EXPECT_EQ(regions[1].second.sharedDirty, 16u * 1024);
    EXPECT_EQ(regions[1].second.sharedClean, 32u * 1024);
    EXPECT_EQ(regions[2].first, "");
    EXPECT_EQ(regions[2].second.privateDirty, 4u * 1024);
}

TEST(LinuxProcFiles, ReadsThisProcessesMappingsAndDescriptors) {
    LinuxProcFiles files;
    size_t count = 0;
    uint64_t dirty = 0;
    bool sawExecutable = false;
    const std::string self = QFileInfo("/proc/self/exe").symLinkTarget().toStdString();
    ASSERT_TRUE(files.memoryRegions(getpid(), [&](const MemRegion& r) {
        ++count;
        dirty += r.privateDirty;
        sawExecutable |= r.path == self;
    }));
    EXPECT_GT(count, 5u);
    EXPECT_GT(dirty, 0u);
    EXPECT_TRUE(sawExecutable);

    QTemporaryDir dir;
    QFile f(dir.filePath("held open.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    FdScan scan;
    ASSERT_TRUE(files.scanFds(getpid(), true, 100000, scan));
    EXPECT_NE(std::find(scan.files.begin(), scan.files.end(), f.fileName().toStdString()), scan.files.end());
}

TEST(LinuxProcFiles, TablesByProtocolAndTheNetworkNamespace) {
    QTemporaryDir root;
    test::writeFile(root, "5/net/tcp",
                    "  sl local rem st\n   0: 0100007F:0050 00000000:0000 0A 0:0 0:0 0 0 0 11 1\n");
    test::writeFile(root, "5/net/udp",
                    "  sl local rem st\n   0: 0100007F:0035 00000000:0000 07 0:0 0:0 0 0 0 12 1\n");
    LinuxProcFiles files(root.path().toStdString());
    std::vector<InetEntry> out;
    ASSERT_TRUE(files.inetSockets(5, false, true, out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].udp);
    ASSERT_TRUE(files.inetSockets(5, true, false, out));
    EXPECT_EQ(out.size(), 2u) << "appended";
    EXPECT_FALSE(files.inetSockets(6, true, true, out));
    EXPECT_FALSE(files.sharesNetNamespace(5)) << "a fixture has no namespace link";
    EXPECT_TRUE(LinuxProcFiles().sharesNetNamespace(getpid()));
}
