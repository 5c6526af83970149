#pragma once

namespace velmora {

// Gives the calling thread an alternate signal stack of its own, unless it has one already,
// so a crash handler still runs when the thread's own stack has overflowed. The stack is
// freed when the thread ends. Called at the start of every thread the program starts (the
// serial workers) and by the crash handler for the thread that installs it.
void ensureSignalStack();

}  // namespace velmora
