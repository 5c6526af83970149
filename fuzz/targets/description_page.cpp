// A process-description page.
#include "fuzz_input.h"
#include "inspect/process_info_lookup.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProcessInfoLookup::metaDescription(fuzz::qtext(data, size));
    return 0;
}
