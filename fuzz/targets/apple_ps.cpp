// The process-status command's rows.
#include "fuzz_input.h"
#include "platform/process.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // As the program reads it (line by line, lossily), and as any text.
    platform::SystemProcHelper::parse(platform::decodeLinesLossy(fuzz::bytes(data, size)));
    platform::SystemProcHelper::parse(fuzz::qtext(data, size));
    return 0;
}
