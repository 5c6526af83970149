#include "inspect/open_files_fetcher.h"

#include <QPointer>

namespace velmora {

OpenFilesFetcher::OpenFilesFetcher(std::unique_ptr<ProcessCollector> collector, QObject* parent)
    : QObject(parent),
      collector_(std::move(collector)),
      inbox_(new ThreadInbox(this)),
      worker_(QStringLiteral("com.tandrel.pelto.monitor.openfiles"), QThread::NormalPriority) {}

OpenFilesFetcher::~OpenFilesFetcher() = default;

void OpenFilesFetcher::fetch(int32_t pid, std::function<void(std::optional<OpenFilesResult>)> completion) {
    ProcessCollector* collector = collector_.get();
    ThreadInbox* inbox = inbox_;
    QPointer<OpenFilesFetcher> self(this);
    worker_.post([=] {
        auto result = collector->openFiles(pid);
        inbox->post([self, completion, result] {
            if (self) completion(result);
        });
    });
}

}  // namespace velmora
