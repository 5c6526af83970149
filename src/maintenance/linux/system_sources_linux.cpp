#include "maintenance/services_service.h"
#include "maintenance/xdg_startup.h"
#include "platform/linux/systemd_user.h"

namespace velmora {

std::shared_ptr<platform::ServiceManager> makeSystemServiceManager() {
    return std::make_shared<platform::SystemdUserManager>(QDBusConnection::sessionBus(),
                                                          platform::SystemdUserManager::defaultUserUnitDirs());
}

std::unique_ptr<StartupSource> makeSystemStartupSource() {
    return std::make_unique<XdgStartupSource>(XdgStartupSource::sessionFolders(),
                                              XdgStartupSource::sessionDesktops());
}

}  // namespace velmora
