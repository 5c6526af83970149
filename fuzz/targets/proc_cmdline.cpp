// Argument vectors (Linux cmdline, the Apple argument buffer), executable headers and raw
// process names.
#include "fuzz_input.h"
#include "platform/process.h"
#include "platform/process_facts.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view t = fuzz::text(data, size);
    platform::joinArguments(t);
    platform::joinArguments(t, 2);
    platform::decodeAppleProcArgs(t);
    platform::elfArchText(t);
    platform::isValidUtf8(t);
    platform::displayProcessName(QByteArrayView(t.data(), static_cast<qsizetype>(t.size())), 42);
    platform::decodeUtf8(fuzz::bytes(data, size));
    return 0;
}
