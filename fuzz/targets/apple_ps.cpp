// The process-status command's rows.
#include "fuzz_input.h"
#include "platform/process.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::SystemProcHelper::parse(fuzz::qtext(data, size));
    return 0;
}
