// A program that installs the crash handlers and then dies the way its second argument
// names, for the crash-log tests: crash_child <log folder> <throw|throw-int|throw-thread|null|abort>.
#include "maintenance/bug_reporter.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <sys/resource.h>

// In a sanitizer build the sanitizer would take the fatal signals for itself; here they are
// what is under test. Without a sanitizer nothing reads this.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigill=0:handle_sigfpe=0:handle_abort=0";
}

// The store itself is what faults; the undefined-behaviour checker must not stop it first.
__attribute__((noinline, no_sanitize("undefined"))) void writeThrough(volatile int* target) {
    *target = 1;
}

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    // The test's folder only: no core file beside it.
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    velmora::BugReporter::Config config;
    config.dir = QString::fromLocal8Bit(argv[1]);
    config.context = QStringLiteral("Pelto Monitor test, context");
    velmora::BugReporter reporter(config);
    reporter.installHandlers();
    const char* mode = argv[2];
    if (std::strcmp(mode, "throw") == 0) throw std::runtime_error("boom");
    if (std::strcmp(mode, "throw-int") == 0) throw 42;
    if (std::strcmp(mode, "throw-thread") == 0) {
        std::thread worker([] { throw std::logic_error("off the main thread"); });
        worker.join();
    }
    if (std::strcmp(mode, "null") == 0) writeThrough(nullptr);
    if (std::strcmp(mode, "abort") == 0) std::abort();
    return 3;
}
