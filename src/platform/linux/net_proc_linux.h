#pragma once

#include "platform/linux/proc_names.h"
#include "platform/linux/sock_diag.h"
#include "platform/net_proc.h"

#include <chrono>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace velmora::platform {

// Per-process TCP traffic: two dumps of every socket's byte counters (socket diagnostics
// over netlink) about a second apart, each socket credited to the process holding it
// (the "socket:[inode]" links under <procRoot>/<pid>/fd). Another user's descriptors are
// unreadable without privileges, so their traffic goes uncounted.
class LinuxNetProcSource : public NetProcSource {
  public:
    explicit LinuxNetProcSource(std::string procRoot = "/proc",
                                std::chrono::milliseconds gap = std::chrono::milliseconds(1000));
    ~LinuxNetProcSource() override;
    LinuxNetProcSource(const LinuxNetProcSource&) = delete;
    LinuxNetProcSource& operator=(const LinuxNetProcSource&) = delete;

    std::optional<std::vector<ProcNet>> measure(const Interrupt::Token& stop) override;
    // Socket diagnostics report byte counters for TCP sockets only, none for UDP.
    bool tcpOnly() const override { return true; }

    // Bytes per second per process between two dumps `seconds` apart. A socket missing
    // from `first` was opened in between, so all its bytes count, but only for a process
    // that held sockets in `first`: one seen only in `last` is left out. A counter that
    // fell counts 0. Only processes with traffic, in pid order, unnamed.
    static std::vector<ProcNet> traffic(const std::vector<InetSocket>& first,
                                        const std::vector<InetSocket>& last,
                                        const std::unordered_map<uint64_t, int32_t>& owners, double seconds);

    // Fills `owners` (inode → -1 for each socket of interest) with the first pid holding
    // each socket; sockets nobody readable holds stay -1.
    void findOwners(std::unordered_map<uint64_t, int32_t>& owners);

    // Runs right after each measurement's first dump, on the measuring thread; lets a test
    // put traffic inside the window without guessing how long the first dump takes.
    void setAfterFirstDump(std::function<void()> hook) { afterFirstDump_ = std::move(hook); }

  private:
    QString nameOf(int32_t pid);

    std::string root_;
    int procFd_ = -1;
    std::chrono::milliseconds gap_;
    SockDiag diag_;
    std::vector<InetSocket> first_, last_;
    std::unordered_map<uint64_t, int32_t> owners_;
    ProcNameCache names_;
    std::string buf_;
    std::function<void()> afterFirstDump_;
};

}  // namespace velmora::platform
