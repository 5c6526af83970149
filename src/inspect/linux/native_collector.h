#pragma once

#include "inspect/process_collector.h"
#include "platform/linux/proc_files_linux.h"
#include "platform/linux/process_facts_linux.h"
#include "platform/linux/sock_diag.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace velmora {

class ReverseDNS;

// Collection straight from the kernel: facts from /proc/<pid>, the footprint from its
// smaps, open files and sockets from its fd folder and its network namespace's socket
// tables, and traffic per socket from the socket-diagnostics interface.
class NativeCollector : public ProcessCollector {
  public:
    // `dns` names the remote hosts; none leaves `host` absent.
    explicit NativeCollector(std::string procRoot = "/proc", ReverseDNS* dns = nullptr);

    std::optional<ProcessStaticInfo> fetchStatic(int32_t pid) override;
    std::optional<ProcessLiveInfo> fetchLive(int32_t pid) override;
    std::optional<MemoryFootprint> memory(int32_t pid) override;
    std::vector<NetConnection> connections(int32_t pid) override;
    // Absent when the process does not exist.
    std::optional<OpenFilesResult> openFiles(int32_t pid) override;

  private:
    // The Internet sockets among `inodes`, into sockets_. With `wantTraffic`, TCP sockets
    // and their byte counts come from the socket-diagnostics dump when the process shares
    // this one's network namespace (the dump then replaces the TCP text tables, which would
    // only repeat it); otherwise every socket comes from the text tables, which are cheaper
    // than a dump with counters.
    void gatherSockets(int32_t pid, const std::vector<uint64_t>& inodes, bool wantTraffic);

    platform::LinuxProcessFacts source_;
    platform::LinuxProcFiles files_;
    platform::SockDiag diag_;
    ReverseDNS* dns_;
    // Reused between calls: the connection list refreshes every two seconds.
    platform::FdScan scan_;
    std::vector<platform::InetEntry> table_;
    std::vector<platform::InetSocket> tcp_;
    struct Found {
        const platform::InetEntry* entry = nullptr;
        std::optional<uint64_t> in;
        std::optional<uint64_t> out;
    };
    std::unordered_map<uint64_t, Found> sockets_;  // by inode
};

}  // namespace velmora
