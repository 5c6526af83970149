// A program that installs the crash handlers and then dies the way its second argument
// names, for the crash-log tests: crash_child <log folder>
// <throw|throw-int|throw-thread|null|abort|overflow-worker|wait>. "wait" says "ready" on its
// standard output and waits for a signal from outside.
#include "core/serial_worker.h"
#include "maintenance/bug_reporter.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <sys/resource.h>
#include <unistd.h>

// In a sanitizer build the sanitizer would take the fatal signals for itself; here they are
// what is under test. Without a sanitizer nothing reads this.
extern "C" __attribute__((used, visibility("default"))) const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigill=0:handle_sigfpe=0:handle_abort=0";
}

// The store itself is what faults; the undefined-behaviour checker must not stop it first.
__attribute__((noinline, no_sanitize("undefined"))) void writeThrough(volatile int* target) {
    *target = 1;
}

// Calls itself until the thread's stack runs out (long before `depth` could wrap); each frame
// keeps a buffer the compiler cannot drop.
__attribute__((noinline, no_sanitize("address", "undefined"))) int recurse(int depth) {
    if (depth < 0) return 0;
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return recurse(depth + 1) + frame[0];
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
    if (std::strcmp(mode, "overflow-worker") == 0) {
        // A worker as the program starts them, its stack overflowing in a task.
        QCoreApplication app(argc, argv);
        velmora::SerialWorker worker(QStringLiteral("overflow"));
        worker.run([] { recurse(0); });
    }
    if (std::strcmp(mode, "wait") == 0) {
        std::fputs("ready\n", stdout);
        std::fflush(stdout);
        for (int i = 0; i < 60; ++i)
            ::sleep(1);
    }
    return 3;
}
