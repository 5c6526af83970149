// Request heads as a client sends them to the exporter, fed in two pieces split where the
// first byte says, so a line or a head cut anywhere is read as well.
#include "export/request_scanner.h"
#include "fuzz_input.h"

#include <cstdlib>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const QByteArray input = fuzz::bytes(data + 1, size - 1);
    const qsizetype cut = std::min<qsizetype>(data[0], input.size());
    RequestScanner scanner;
    scanner.feed(QByteArrayView(input).first(cut));
    scanner.feed(QByteArrayView(input).sliced(cut));
    // Every head counted is one the server can take, and a bad one comes after all of them.
    int taken = 0;
    while (scanner.takeHead())
        ++taken;
    if (taken != scanner.heads() || scanner.heads() > scanner.requestLines()) std::abort();
    if (scanner.badAt() && (*scanner.badAt() != scanner.heads() || !scanner.stopped())) std::abort();
    return 0;
}
