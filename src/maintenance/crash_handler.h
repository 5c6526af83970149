#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora::CrashHandler {

// Installs the process-wide crash handlers: an uncaught C++ exception (the terminate
// handler) and the fatal signals SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT each leave
// "crash-<seconds>.log" in `dir`, headed by `context`. A signal's log tells a fault (with
// the address) from a signal sent by a process (with its pid). Everything the signal path
// needs (paths, the context line, this thread's alternate stack; other threads make their
// own when they start) is prepared here, so the handler itself allocates nothing; the
// signal is then raised again so the system's own handling (a core dump, the parent's wait
// status) still happens. Only the first crash of a run is written.
void install(const std::string& dir, const std::string& context);

// The crash text of an exception: "Exception: <type>\n<reason>\n\n<stack lines>".
std::string exceptionText(std::string_view type, std::string_view reason, const std::vector<std::string>& stack);

// The current thread's call stack as symbol lines, innermost first.
std::vector<std::string> callStack();

}  // namespace velmora::CrashHandler
