// Asks the launch-at-login registration what it offers for a desktop entry id, as the
// settings window does, for the package check: "status" prints whether it is available and
// enabled, "enable" and "disable" change it and fail when that does not succeed.
#include "platform/login_item.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: velmora_login_probe DESKTOP-ENTRY-ID status|enable|disable\n", stderr);
        return 2;
    }
    const auto item = velmora::platform::makeLoginItem(QString::fromLocal8Bit(argv[1]));
    const char* verb = argv[2];
    if (std::strcmp(verb, "enable") == 0 || std::strcmp(verb, "disable") == 0) {
        if (!item->setEnabled(std::strcmp(verb, "enable") == 0)) {
            std::fprintf(stderr, "could not %s launch at login\n", verb);
            return 1;
        }
    } else if (std::strcmp(verb, "status") != 0) {
        std::fprintf(stderr, "unknown command %s\n", verb);
        return 2;
    }
    std::printf("available=%d enabled=%d\n", item->available() ? 1 : 0, item->enabled() ? 1 : 0);
    return 0;
}
