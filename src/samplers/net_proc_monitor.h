#pragma once

#include "core/serial_worker.h"
#include "core/snapshot.h"
#include "platform/net_proc.h"

#include <QObject>

class QTimer;

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

// Measures each process's network traffic in a loop on its own worker while a view needs
// it, and publishes the latest list and a short history on the thread that owns it.
class NetProcMonitor : public QObject {
    Q_OBJECT
  public:
    struct Entry {
        TimePoint time;
        std::vector<ProcNet> procs;
    };

    static constexpr size_t historyLimit = 150;
    static constexpr int loopDelayMs = 400;  // pause after each measurement

    explicit NetProcMonitor(QObject* parent = nullptr);
    explicit NetProcMonitor(std::unique_ptr<platform::NetProcSource> source, QObject* parent = nullptr);
    ~NetProcMonitor() override;

    // Starts the loop unless it runs already.
    void start();
    // Ends the loop; a measurement in progress is cut short and discarded.
    void stop();

    // Latest result, highest total traffic first.
    const std::vector<ProcNet>& procs() const { return procs_; }
    // One entry per successful measurement, oldest first.
    const std::deque<Entry>& history() const { return history_; }
    // True after a measurement that could not read the traffic counters.
    bool failed() const { return failed_; }
    // True when the figures count TCP traffic only.
    bool tcpOnly() const { return tcpOnly_; }

    static std::vector<ProcNet> parse(const QString& text) { return platform::parseNetTop(text); }

    // Applies one measurement's result (nothing: a failed one). The worker posts here.
    void publish(std::optional<std::vector<ProcNet>> result);

  signals:
    void changed();

  private:
    // Worker thread only.
    void iterate();

    std::vector<ProcNet> procs_;
    std::deque<Entry> history_;
    bool failed_ = false;
    bool tcpOnly_ = false;
    ThreadInbox inbox_;
    platform::Interrupt interrupt_;
    // Touched only on the worker thread.
    std::unique_ptr<platform::NetProcSource> source_;
    bool active_ = false;
    std::optional<platform::Interrupt::Token> loopToken_;
    QTimer* timer_ = nullptr;  // the pause between measurements
    // Declared last so it stops first.
    SerialWorker worker_;
};

}  // namespace velmora
