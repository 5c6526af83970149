// /proc/<pid>/stat, and the name shown for what it holds.
#include "fuzz_input.h"
#include "platform/linux/proc_pid.h"
#include "platform/linux/process_facts_linux.h"
#include "platform/process.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::PidStat st;
    if (!platform::parsePidStat(fuzz::text(data, size), st)) return 0;
    platform::displayProcessName(QByteArrayView(st.comm.data(), static_cast<qsizetype>(st.comm.size())),
                                 st.pid);
    platform::LinuxProcessFacts::stateFromLetter(st.state);
    return 0;
}
