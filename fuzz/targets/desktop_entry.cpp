// Autostart desktop entries: the group's keys, localized names and the desktop rules.
#include "fuzz_input.h"
#include "maintenance/desktop_entry.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<DesktopEntry> entry = parseDesktopEntry(fuzz::bytes(data, size));
    if (entry) {
        for (const char* locale : {"ko", "ko_KR", "sr_RS@latin", "zh-Hant", "zh_HK", "zh", "pt", "en"})
            entryName(*entry, QString::fromLatin1(locale));
        entryState(*entry, {QStringLiteral("GNOME"), QStringLiteral("ubuntu")}, {QStringLiteral("/nonexistent")});
        entryState(*entry, {}, {QStringLiteral("/nonexistent")});
        // The edit that switches an entry off finds the group wherever the parser did.
        if (!withHiddenSet(fuzz::bytes(data, size))) __builtin_trap();
    }
    return 0;
}
