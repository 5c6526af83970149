// The string table, and placeholder filling of every text it holds.
#include "core/localizer.h"
#include "fuzz_input.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto tables = Localizer::decode(fuzz::bytes(data, size));
    if (!tables) return 0;
    // Arguments that look like placeholders themselves.
    static const QString args[] = {QStringLiteral("{1}"), QStringLiteral("x{0}y"), QString(),
                                   QStringLiteral("{")};
    for (const Localizer::Table& table : *tables)
        for (const QString& text : table)
            Localizer::fill(text, args);
    return 0;
}
