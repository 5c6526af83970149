// /proc/<pid>/smaps, line by line into regions, summed into footprint categories.
#include "fuzz_input.h"
#include "inspect/native_logic.h"
#include "platform/linux/file_util.h"
#include "platform/linux/proc_files_linux.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FootprintBuilder builder;
    platform::SmapsParser parser([&](const platform::MemRegion& r) {
        builder.add(r.path, r.shared, r.privateDirty + r.sharedDirty + r.swap, r.privateClean + r.sharedClean,
                    r.lazyFree);
    });
    platform::linux_fs::forEachLine(fuzz::text(data, size),
                                    [&](std::string_view line) { parser.line(line); });
    parser.finish();
    builder.result();
    return 0;
}
