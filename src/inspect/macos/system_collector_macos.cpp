#include "inspect/tool_collector.h"

namespace velmora {

std::unique_ptr<ProcessCollector> makeSystemCollector() {
    return std::make_unique<ToolCollector>();
}

}  // namespace velmora
