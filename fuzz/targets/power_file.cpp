// The power file the privileged helper writes.
#include "fuzz_input.h"
#include "samplers/thermal_sampler.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const PowerFileContent content = parsePowerFile(fuzz::text(data, size));
    powerFiguresAt(content, 1.7e9);
    return 0;
}
