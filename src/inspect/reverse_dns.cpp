#include "inspect/reverse_dns.h"

#include "core/serial_worker.h"

#include <netdb.h>
#include <sys/socket.h>
#include <algorithm>

namespace velmora {

ReverseDNS& ReverseDNS::shared() {
    // Never destroyed: a look-up may be blocked in the resolver when the program ends, and
    // waiting for it would delay the exit.
    static ReverseDNS* instance = new ReverseDNS();
    return *instance;
}

ReverseDNS::ReverseDNS(Resolver resolver, int workers, int maxPending)
    : state_(std::make_shared<State>()), resolver_(std::move(resolver)), maxPending_(maxPending) {
    // A few serial workers rather than one: a slow answer holds up only its own queue.
    for (int i = 0; i < std::max(1, workers); ++i)
        workers_.push_back(std::make_unique<SerialWorker>(QStringLiteral("com.tandrel.pelto.monitor.revdns"),
                                                          QThread::LowPriority));
}

ReverseDNS::~ReverseDNS() = default;

std::optional<QString> ReverseDNS::hostname(const QString& ip) {
    SerialWorker* worker = nullptr;
    {
        std::lock_guard guard(state_->lock);
        if (const auto it = state_->cache.constFind(ip); it != state_->cache.constEnd()) {
            if (it->isEmpty()) return std::nullopt;
            return *it;
        }
        if (state_->inflight.contains(ip) || state_->inflight.size() >= maxPending_) return std::nullopt;
        state_->inflight.insert(ip);
        worker = workers_[next_++ % workers_.size()].get();
    }
    std::weak_ptr<State> weak = state_;
    Resolver resolver = resolver_;
    worker->post([weak, resolver, ip] {
        if (weak.expired()) return;
        const std::optional<QString> name = resolver(ip);
        const auto state = weak.lock();
        if (!state) return;
        std::lock_guard guard(state->lock);
        state->cache.insert(ip, name.value_or(QString()));
        state->inflight.remove(ip);
    });
    return std::nullopt;
}

std::optional<QString> ReverseDNS::systemResolve(const QString& ip) {
    const QByteArray numeric = ip.toLatin1();
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (getaddrinfo(numeric.constData(), nullptr, &hints, &list) != 0 || !list) return std::nullopt;
    char name[1025] = {};
    std::optional<QString> answer;
    if (getnameinfo(list->ai_addr, list->ai_addrlen, name, sizeof name, nullptr, 0, NI_NAMEREQD) == 0) {
        const QString text = QString::fromUtf8(name);
        if (!text.isEmpty() && text != ip) answer = text;
    }
    freeaddrinfo(list);
    return answer;
}

}  // namespace velmora
