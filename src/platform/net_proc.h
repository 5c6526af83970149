#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace velmora {

// Network traffic of one process. Identity is `pid`.
struct ProcNet {
    int32_t pid = 0;
    QString name;
    double inBps = 0;
    double outBps = 0;
    // Of inBps + outBps, the part whose peer is this machine (loopback): interface totals
    // leave it out, process rows count it.
    double loopbackBps = 0;
    // The kernel's start stamp when the source knows it (the remembered record does; a live
    // measurement knows pids only): 0 when unknown.
    uint64_t startTime = 0;
    bool operator==(const ProcNet&) const = default;
};

}  // namespace velmora

namespace velmora::platform {

// Cuts a measurement short from another thread. Each run holds a token; interrupt() ends
// every run that began before it, including one asleep in sleepFor().
class Interrupt {
  public:
    class Token {
      public:
        bool stopped() const { return owner_->generation_.load() != generation_; }
        // Waits up to `duration`; false when interrupted first.
        bool sleepFor(std::chrono::milliseconds duration) const;

      private:
        friend class Interrupt;
        Token(const Interrupt* owner, uint64_t generation) : owner_(owner), generation_(generation) {}
        const Interrupt* owner_;
        uint64_t generation_;
    };

    Token token() const { return Token(this, generation_.load()); }
    void interrupt();

  private:
    std::atomic<uint64_t> generation_{0};
    mutable std::mutex lock_;
    mutable std::condition_variable wake_;
};

// Measures bytes per second received and sent by each process.
class NetProcSource {
  public:
    virtual ~NetProcSource() = default;
    // One measurement, busiest process first; only processes with traffic. Nothing when
    // the system's traffic counters cannot be read. May return early when `stop` fires;
    // the caller then discards the result.
    virtual std::optional<std::vector<ProcNet>> measure(const Interrupt::Token& stop) = 0;
    // True when only TCP traffic is counted (the system reports no per-socket bytes for UDP).
    virtual bool tcpOnly() const { return false; }
};

std::unique_ptr<NetProcSource> makeNetProcSource();

// Two or more samples of the network-statistics command's per-process summary lines
// ("<name>.<pid> <bytes in> <bytes out>", a "bytes_in" header before each sample): the
// difference between the first and the last sample per process, busiest first.
std::vector<ProcNet> parseNetTop(const QString& text);

}  // namespace velmora::platform
