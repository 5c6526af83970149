#include "inspect/run_tool.h"
#include "maintenance/apple_startup.h"
#include "maintenance/service_rules.h"
#include "maintenance/services_service.h"

#include <CoreFoundation/CoreFoundation.h>

#include <QDir>
#include <QFile>

#include <csignal>
#include <unistd.h>

namespace velmora {

namespace {

const QString kLaunchctl = QStringLiteral("/bin/launchctl");
const QString kOsascript = QStringLiteral("/usr/bin/osascript");

// The launchd jobs of the user's session through launchctl, bounded by the tool runner.
class LaunchctlManager : public platform::ServiceManager {
  public:
    std::optional<std::vector<ServiceItem>> list() override {
        const std::optional<QString> out = runTool(kLaunchctl, {QStringLiteral("list")});
        return parseLaunchctlList(out.value_or(QString()));
    }
    // launchctl answers at once and tells nothing of the outcome: the rescan shows it.
    platform::ServiceOutcome stop(const QString& label) override {
        runTool(kLaunchctl, {QStringLiteral("stop"), label});
        return {};
    }
    void kill(const QString& label) override {
        const QString target = QStringLiteral("gui/%1/%2").arg(::getuid()).arg(label);
        runTool(kLaunchctl, {QStringLiteral("kill"), QStringLiteral("SIGKILL"), target});
    }
    platform::ServiceOutcome start(const QString& label) override {
        runTool(kLaunchctl, {QStringLiteral("start"), label});
        return {};
    }
};

QStringList osa(const QString& script) {
    return splitOsaList(runTool(kOsascript, {QStringLiteral("-e"), script}).value_or(QString()));
}

QString fromCFString(CFStringRef s) {
    QString out(CFStringGetLength(s), Qt::Uninitialized);
    CFStringGetCharacters(s, CFRangeMake(0, out.size()), reinterpret_cast<UniChar*>(out.data()));
    return out;
}

// The "Label" string of a property list file (XML or binary), read with CoreFoundation.
std::optional<QString> plistLabel(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray bytes = file.read(4 << 20);
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.constData()), bytes.size());
    if (!data) return std::nullopt;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, nullptr);
    CFRelease(data);
    if (!plist) return std::nullopt;
    std::optional<QString> label;
    if (CFGetTypeID(plist) == CFDictionaryGetTypeID()) {
        const void* value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist), CFSTR("Label"));
        if (value && CFGetTypeID(value) == CFStringGetTypeID())
            label = fromCFString(static_cast<CFStringRef>(value));
    }
    CFRelease(plist);
    return label;
}

class AppleStartupSource : public StartupSource {
  public:
    StartupScan scan(const QString&) override {
        const QStringList names = osa(QString::fromUtf8(kLoginItemNamesScript));
        const QStringList paths = osa(QString::fromUtf8(kLoginItemPathsScript));
        StartupScan result = loginItemsFrom(names, paths);
        const QDir agents(QDir::homePath() + QStringLiteral("/Library/LaunchAgents"));
        for (const QString& file : agents.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted)) {
            const QString path = agents.filePath(file);
            if (!file.endsWith(QLatin1String(".plist"))) continue;
            if (const std::optional<QString> name = launchAgentName(file, plistLabel(path)))
                result.items.push_back({*name, path, QString::fromUtf8(StartupItem::launchAgentKind)});
        }
        return result;
    }
    std::optional<RemovalFailure> removeLoginItem(const StartupItem& item) override {
        osa(deleteLoginItemScript(item.name));
        return std::nullopt;  // System Events gives no word; the rescan shows what remains
    }
};

}  // namespace

std::shared_ptr<platform::ServiceManager> makeSystemServiceManager() {
    return std::make_shared<LaunchctlManager>();
}

std::unique_ptr<StartupSource> makeSystemStartupSource() {
    return std::make_unique<AppleStartupSource>();
}

}  // namespace velmora
