// The macOS service-control and scripting outputs: the job list and AppleScript lists.
#include "fuzz_input.h"
#include "maintenance/apple_startup.h"
#include "maintenance/service_rules.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = fuzz::qtext(data, size);
    for (const ServiceItem& item : parseLaunchctlList(text))
        isProtected(item, false);
    const QStringList names = splitOsaList(text);
    loginItemsFrom(names, splitOsaList(text.mid(text.size() / 2)));
    deleteLoginItemScript(text);
    launchAgentName(text, std::nullopt);
    return 0;
}
