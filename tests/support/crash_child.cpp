// A program that installs the crash handlers and then dies the way its second argument
// names, for the crash-log tests: crash_child <log folder> <throw|throw-int|throw-thread|null|abort>.
#include "maintenance/bug_reporter.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <sys/resource.h>

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    // The test's folder only: no core file beside it.
    rlimit none{0, 0};
    setrlimit(RLIMIT_CORE, &none);
    velmora::BugReporter reporter({QString::fromLocal8Bit(argv[1]), QStringLiteral("Pelto Monitor test, context"), {}});
    reporter.installHandlers();
    const char* mode = argv[2];
    if (std::strcmp(mode, "throw") == 0) throw std::runtime_error("boom");
    if (std::strcmp(mode, "throw-int") == 0) throw 42;
    if (std::strcmp(mode, "throw-thread") == 0) {
        std::thread worker([] { throw std::logic_error("off the main thread"); });
        worker.join();
    }
    if (std::strcmp(mode, "null") == 0) {
        volatile int* volatile target = nullptr;
        *target = 1;
    }
    if (std::strcmp(mode, "abort") == 0) std::abort();
    return 3;
}
