// Autostart desktop entries: the group's keys, localized names and the desktop rules.
#include "fuzz_input.h"
#include "maintenance/desktop_entry.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<DesktopEntry> entry = parseDesktopEntry(fuzz::bytes(data, size));
    if (entry) {
        for (const char* language : {"ko", "zh-Hant", "zh", "pt", "en"})
            entryName(*entry, QString::fromLatin1(language));
        entryInEffect(*entry, {QStringLiteral("GNOME"), QStringLiteral("ubuntu")});
        entryInEffect(*entry, {});
    }
    return 0;
}
