// /proc/<pid>/net/{tcp,tcp6,udp,udp6}.
#include "fuzz_input.h"
#include "platform/linux/proc_files_linux.h"

#include <sys/socket.h>

using namespace velmora;
using platform::LinuxProcFiles;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view t = fuzz::text(data, size);
    std::vector<platform::InetEntry> out;
    LinuxProcFiles::parseInetTable(t, AF_INET, false, out);
    LinuxProcFiles::parseInetTable(t, AF_INET6, true, out);
    return 0;
}
