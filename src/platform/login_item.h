#pragma once

#include <QString>

#include <memory>

namespace velmora::platform {

// The program's own registration to start when the user logs in.
class LoginItem {
  public:
    virtual ~LoginItem() = default;
    // False when the program has no identity to register under (an uninstalled build).
    virtual bool available() const = 0;
    // Read from the system each time, so it reflects changes made elsewhere.
    virtual bool enabled() const = 0;
    // Registers or unregisters; true on success.
    virtual bool setEnabled(bool enabled) = 0;

    // Why the last setEnabled failed: the file or folder that could not be changed and the
    // system's reason. Empty when the system refused without one.
    struct Failure {
        QString path;
        QString reason;
    };
    virtual Failure lastFailure() const { return {}; }
};

// The registration for the running program. On Linux `desktopEntryId` names its installed
// desktop entry ("com.tandrel.velmora"); an id without an installed entry counts as none.
// macOS uses the bundle's identity and ignores it.
std::unique_ptr<LoginItem> makeLoginItem(const QString& desktopEntryId);

}  // namespace velmora::platform
