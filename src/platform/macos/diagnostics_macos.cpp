#include "platform/diagnostics.h"

#include <QDir>
#include <QStandardPaths>

#include <sys/sysctl.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>

namespace velmora::platform {

namespace {

std::string sysctlText(const char* name) {
    size_t size = 0;
    if (sysctlbyname(name, nullptr, &size, nullptr, 0) != 0 || size == 0) return {};
    std::string text(size, '\0');
    if (sysctlbyname(name, text.data(), &size, nullptr, 0) != 0) return {};
    text.resize(size > 0 && text[size - 1] == '\0' ? size - 1 : size);
    return text;
}

}  // namespace

SystemFacts systemFacts() {
    SystemFacts facts;
    const std::string version = sysctlText("kern.osproductversion");
    const std::string build = sysctlText("kern.osversion");
    // As the system's own version string reads: "Version 14.4 (Build 23E214)".
    facts.osText = QStringLiteral("macOS Version ") + QString::fromStdString(version.empty() ? "?" : version);
    if (!build.empty()) facts.osText += QStringLiteral(" (Build ") + QString::fromStdString(build) + QLatin1Char(')');
    uint64_t memory = 0;
    size_t size = sizeof(memory);
    if (sysctlbyname("hw.memsize", &memory, &size, nullptr, 0) == 0) facts.memoryBytes = memory;
    const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    facts.processors = cpus > 0 ? int(cpus) : 1;
    return facts;
}

QString stateFolder() {
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/Velmora"));
}

QString logFolder() {
    return stateFolder() + QStringLiteral("/logs");
}

}  // namespace velmora::platform
