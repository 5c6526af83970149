// The memory-footprint tool's report.
#include "fuzz_input.h"
#include "inspect/run_tool.h"
#include "inspect/tool_parsers.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::qtext(data, size);
    parseFootprintOutput(text);
    const qsizetype space = text.indexOf(u' ');
    if (space >= 0) parseSize(text.left(space), text.mid(space + 1));
    return 0;
}
