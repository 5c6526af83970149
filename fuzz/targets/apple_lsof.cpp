// The open-file tool: field output and the table of Internet sockets. The input's first
// half goes to the first, all of it to the second, with traffic from the network tool.
#include "fuzz_input.h"
#include "inspect/tool_parsers.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::qtext(data, size);
    parseLsofFieldOutput(text, std::nullopt);
    parseLsofFieldOutput(text, QStringLiteral("lsof: WARNING: can't stat() permission denied"));
    static const QHash<QString, PortTraffic> traffic = {{QStringLiteral("443"), {10, 20}},
                                                        {QStringLiteral("5353"), {1, 0}}};
    parseLsofConnections(text, traffic, [](const QString& addr) -> std::optional<QString> {
        if (addr.isEmpty() || addr.size() % 2) return std::nullopt;
        return QStringLiteral("host.example");
    });
    return 0;
}
