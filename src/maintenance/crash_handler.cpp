#include "maintenance/crash_handler.h"

#include "maintenance/log_files.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <memory>
#include <stdexcept>
#include <typeinfo>

#include <cxxabi.h>
#include <execinfo.h>
#include <signal.h>

namespace velmora::CrashHandler {

namespace {

// Filled at install; read by the handlers.
char gDir[4096];
char gContext[2048];
std::atomic<bool> gReady{false};
// Set by the first crash that writes; a later one (the abort after an exception, a second
// thread) only ends the process.
std::atomic<bool> gClaimed{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used from signal handlers");

constexpr int kMaxFrames = 64;
// The handler's own stack, so an overflowed stack still gets its log.
alignas(16) char gAltStack[64 * 1024];

struct FatalSignal {
    int number;
    const char* name;
    const char* meaning;
};
constexpr std::array<FatalSignal, 5> kFatal = {{
    {SIGSEGV, "SIGSEGV", "invalid memory access"},
    {SIGBUS, "SIGBUS", "bus error"},
    {SIGILL, "SIGILL", "illegal instruction"},
    {SIGFPE, "SIGFPE", "arithmetic error"},
    {SIGABRT, "SIGABRT", "abort"},
}};

bool claim() {
    return gReady.load() && !gClaimed.exchange(true);
}

void writeFrames(int fd) {
    void* frames[kMaxFrames];
    const int n = backtrace(frames, kMaxFrames);
    backtrace_symbols_fd(frames, n, fd);
}

void onSignal(int sig, siginfo_t*, void*) {
    const int savedErrno = errno;
    if (claim()) {
        const char* name = "signal";
        const char* meaning = "";
        for (const FatalSignal& f : kFatal)
            if (f.number == sig) {
                name = f.name;
                meaning = f.meaning;
            }
        char head[256];
        logs::FixedText text(head, sizeof head);
        text.add("\n\nSignal: ").add(name).add("\n").add(meaning).add("\n\n");
        const logs::Chunk chunks[] = {{gContext, std::strlen(gContext)}, {text.data(), text.size()}};
        logs::writeNewLog(gDir, "crash", static_cast<int64_t>(::time(nullptr)), chunks, writeFrames, nullptr, 0);
    }
    errno = savedErrno;
    // The disposition went back to the default on entry (SA_RESETHAND): the signal raised
    // again ends the process as it would have without this handler.
    ::raise(sig);
}

std::string demangled(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> text(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(name);
}

[[noreturn]] void onTerminate() {
    if (claim()) {
        std::string type = "std::terminate";
        std::string reason;
        if (std::exception_ptr current = std::current_exception()) {
            if (const std::type_info* info = abi::__cxa_current_exception_type()) type = demangled(info->name());
            try {
                std::rethrow_exception(current);
            } catch (const std::exception& e) {
                reason = e.what();
            } catch (...) {
            }
        }
        const std::string text = std::string(gContext) + "\n\n" + exceptionText(type, reason, callStack());
        const logs::Chunk chunk{text.data(), text.size()};
        logs::writeNewLog(gDir, "crash", static_cast<int64_t>(std::time(nullptr)), {&chunk, 1}, nullptr, nullptr,
                          0);
    }
    std::abort();
}

}  // namespace

std::string exceptionText(std::string_view type, std::string_view reason, const std::vector<std::string>& stack) {
    std::string text = "Exception: ";
    text.append(type).append("\n").append(reason).append("\n\n");
    for (size_t i = 0; i < stack.size(); ++i) {
        if (i > 0) text += '\n';
        text += stack[i];
    }
    return text;
}

std::vector<std::string> callStack() {
    void* frames[kMaxFrames];
    const int n = backtrace(frames, kMaxFrames);
    std::vector<std::string> lines;
    if (n <= 0) return lines;
    std::unique_ptr<char*, void (*)(void*)> symbols(backtrace_symbols(frames, n), std::free);
    if (!symbols) return lines;
    lines.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        lines.emplace_back(symbols.get()[i]);
    return lines;
}

void install(const std::string& dir, const std::string& context) {
    gReady = false;
    if (dir.size() >= sizeof gDir) return;  // a log could not be named; leave the defaults
    std::memcpy(gDir, dir.c_str(), dir.size() + 1);
    logs::FixedText(gContext, sizeof gContext).add(context.c_str(), context.size());

    // The first backtrace loads the unwinder, which may allocate: done now, not in a handler.
    void* warm[1];
    backtrace(warm, 1);

    stack_t alt{};
    alt.ss_sp = gAltStack;
    alt.ss_size = sizeof gAltStack;
    sigaltstack(&alt, nullptr);

    struct sigaction action{};
    action.sa_sigaction = onSignal;
    action.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const FatalSignal& f : kFatal)
        sigaction(f.number, &action, nullptr);
    std::set_terminate(onTerminate);
    gReady = true;
}

}  // namespace velmora::CrashHandler
