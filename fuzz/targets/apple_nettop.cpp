// The network-statistics tool: per-process summaries and per-socket lines.
#include "fuzz_input.h"
#include "inspect/tool_parsers.h"
#include "platform/net_proc.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::qtext(data, size);
    platform::parseNetTop(text);
    parseNettopOutput(text);
    return 0;
}
