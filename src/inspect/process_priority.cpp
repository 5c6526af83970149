#include "inspect/process_priority.h"

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>

namespace velmora {

namespace {

std::optional<int> systemRead(int32_t pid) {
    // -1 is also a valid priority: only errno tells a failure apart.
    errno = 0;
    const int value = ::getpriority(PRIO_PROCESS, static_cast<id_t>(pid));
    if (value == -1 && errno != 0) return std::nullopt;
    return value;
}

bool systemWrite(int32_t pid, int value) {
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid), value) == 0;
}

}  // namespace

ProcessPriority::ProcessPriority() : ProcessPriority(systemRead, systemWrite) {}

ProcessPriority::ProcessPriority(Reader reader, Writer writer)
    : reader_(std::move(reader)), writer_(std::move(writer)) {}

int ProcessPriority::minimum() {
    return PRIO_MIN;
}
int ProcessPriority::maximum() {
    return PRIO_MAX;
}
int ProcessPriority::clamp(int value) {
    return std::clamp(value, minimum(), maximum());
}

// A pid of 0 would mean Velmora itself, and below that nothing.
std::optional<int> ProcessPriority::read(int32_t pid) const {
    if (pid <= 0) return std::nullopt;
    return reader_(pid);
}

// Init (pid 1) is the whole session's parent: its priority is never changed from here.
bool ProcessPriority::write(int32_t pid, int value) const {
    if (pid < 2) return false;
    return writer_(pid, clamp(value));
}

}  // namespace velmora
