#include "core/signal_stack.h"

#include <algorithm>
#include <cstddef>

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace velmora {

namespace {

// Room for the crash handler: formatting, the file writes and the unwinder's frames.
constexpr size_t kStackBytes = 64 * 1024;

// One thread's stack, with an inaccessible page below it so an overflow of the handler
// itself faults instead of writing over other memory.
struct ThreadSignalStack {
    char* mapping = nullptr;
    size_t mappingSize = 0;
    char* stack = nullptr;

    ThreadSignalStack() = default;
    ThreadSignalStack(const ThreadSignalStack&) = delete;
    ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

    ~ThreadSignalStack() {
        if (!mapping) return;
        // Switched off only while it is still the thread's and not in use; memory the
        // kernel might still deliver a signal onto is never unmapped.
        stack_t current{};
        if (::sigaltstack(nullptr, &current) != 0) return;
        if (current.ss_sp == stack && !(current.ss_flags & SS_DISABLE)) {
            if (current.ss_flags & SS_ONSTACK) return;
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            if (::sigaltstack(&off, nullptr) != 0) return;
        }
        ::munmap(mapping, mappingSize);
    }
};

thread_local ThreadSignalStack tStack;

size_t stackBytes() {
    size_t bytes = kStackBytes;
#ifdef _SC_SIGSTKSZ
    // What this processor's signal frames need can exceed the old constant.
    const long needed = ::sysconf(_SC_SIGSTKSZ);
    if (needed > 0) bytes = std::max(bytes, static_cast<size_t>(needed) * 4);
#endif
    return bytes;
}

}  // namespace

void ensureSignalStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0) return;
    if (!(current.ss_flags & SS_DISABLE)) return;  // set up already (here or by a sanitizer)

    const long page = ::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096;
    const size_t bytes = (stackBytes() + page - 1) / page * page;
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_STACK
    flags |= MAP_STACK;
#endif
    void* mapping = ::mmap(nullptr, bytes + page, PROT_READ | PROT_WRITE, flags, -1, 0);
    if (mapping == MAP_FAILED) return;
    char* base = static_cast<char*>(mapping);
    ::mprotect(base, page, PROT_NONE);

    stack_t alt{};
    alt.ss_sp = base + page;
    alt.ss_size = bytes;
    if (::sigaltstack(&alt, nullptr) != 0) {
        ::munmap(mapping, bytes + page);
        return;
    }
    tStack.mapping = base;
    tStack.mappingSize = bytes + page;
    tStack.stack = base + page;
}

}  // namespace velmora
