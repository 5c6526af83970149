#include "maintenance/crash_handler.h"

#include "core/signal_stack.h"
#include "maintenance/log_files.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
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
#include <unistd.h>

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

// Where the signal came from: a fault of this process (with the address it touched), or a
// process that sent it (with its pid and user), this one included.
void addOrigin(logs::FixedText& text, const siginfo_t* info) {
    if (!info) return;
    // Sent codes first: on some systems they are positive too, like the kernel's fault codes.
    switch (info->si_code) {
        case SI_USER:
        case SI_QUEUE:
#ifdef SI_TKILL
        case SI_TKILL:
#endif
            if (info->si_pid == ::getpid()) {
                text.add("Raised by this process\n");
            } else {
                text.add("Sent by process ").addNumber(info->si_pid);
                text.add(", user ").addNumber(info->si_uid).add("\n");
            }
            return;
        default:
            break;
    }
    if (info->si_code > 0) {
        // Raised by the kernel for something this process did (SI_KERNEL among them).
        text.add("Fault at address ").addHex(reinterpret_cast<uintptr_t>(info->si_addr)).add("\n");
        return;
    }
    text.add("Sent by the system (code ").addNumber(info->si_code).add(")\n");
}

void onSignal(int sig, siginfo_t* info, void*) {
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
        text.add("\n\nSignal: ").add(name).add("\n").add(meaning).add("\n");
        addOrigin(text, info);
        text.add("\n");
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

    // This thread's; every thread the program starts makes its own (see ensureSignalStack).
    ensureSignalStack();

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
