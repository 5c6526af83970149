#pragma once

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace velmora {

class SerialWorker;

// Host names of remote addresses, resolved in the background and remembered for the whole
// run, failures included. Callable from any thread; never waits for the network.
class ReverseDNS {
  public:
    // Blocking look-up of one address: its name, or absent.
    using Resolver = std::function<std::optional<QString>(const QString& ip)>;

    // The instance every connection list uses.
    static ReverseDNS& shared();

    explicit ReverseDNS(Resolver resolver = systemResolve, int workers = 4, int maxPending = 256);
    // Waits for the look-ups under way.
    ~ReverseDNS();
    ReverseDNS(const ReverseDNS&) = delete;
    ReverseDNS& operator=(const ReverseDNS&) = delete;

    // The name when it is known; otherwise absent now, and a look-up starts unless one is
    // under way, the address is known to have no name, or `maxPending` look-ups are queued
    // (a later call asks again).
    std::optional<QString> hostname(const QString& ip);

    // Numeric address to name through the system resolver; absent when the address has no
    // name (or the name is the address itself).
    static std::optional<QString> systemResolve(const QString& ip);

  private:
    struct State {
        std::mutex lock;
        QHash<QString, QString> cache;  // an empty name records a failed look-up
        QSet<QString> inflight;
    };
    std::shared_ptr<State> state_;
    Resolver resolver_;
    int maxPending_;
    std::vector<std::unique_ptr<SerialWorker>> workers_;
    size_t next_ = 0;  // guarded by state_->lock
};

}  // namespace velmora
