#pragma once

#include "core/serial_worker.h"
#include "inspect/process_collector.h"

#include <QObject>

#include <functional>

namespace velmora {

// Open-file scans on request (the process detail view). Scans run in order on the
// fetcher's own worker; completions run on the GUI thread, and not at all once the
// fetcher is gone.
class OpenFilesFetcher : public QObject {
    Q_OBJECT
  public:
    explicit OpenFilesFetcher(std::unique_ptr<ProcessCollector> collector = makeSystemCollector(),
                              QObject* parent = nullptr);
    ~OpenFilesFetcher() override;

    void fetch(int32_t pid, std::function<void(std::optional<OpenFilesResult>)> completion);

  private:
    std::unique_ptr<ProcessCollector> collector_;
    ThreadInbox* inbox_;
    SerialWorker worker_;
};

}  // namespace velmora
