// The remembered record's packed parts, read back from the database as they were stored:
// whatever decodes must encode to something that decodes to the same.
#include "fuzz_input.h"
#include "history/history_store.h"

#include <cstdlib>

using namespace velmora::history;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = velmora::fuzz::bytes(data, size);
    std::vector<PackedProcess> processes;
    if (decodeProcesses(bytes, &processes)) {
        std::vector<PackedProcess> again;
        if (!decodeProcesses(encodeProcesses(processes), &again) || again.size() != processes.size()) std::abort();
        for (size_t i = 0; i < again.size(); ++i)
            if (again[i].pid != processes[i].pid || again[i].startTime != processes[i].startTime ||
                again[i].nameId != processes[i].nameId)
                std::abort();
    }
    std::array<SeriesStat, kSeriesCount> series{};
    decodeSeries(bytes, &series);
    return 0;
}
