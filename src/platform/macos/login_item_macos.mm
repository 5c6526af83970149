// The program's own login item through the service-management main-application service.
#include "platform/login_item.h"

#import <Foundation/Foundation.h>
#import <ServiceManagement/ServiceManagement.h>

namespace velmora::platform {

namespace {

class MainAppLoginItem : public LoginItem {
  public:
    bool available() const override { return [[NSBundle mainBundle] bundleIdentifier] != nil; }

    bool enabled() const override {
        if (!available()) return false;
        return [SMAppService mainAppService].status == SMAppServiceStatusEnabled;
    }

    bool setEnabled(bool enabled) override {
        if (!available()) return false;
        NSError* error = nil;
        const BOOL ok = enabled ? [[SMAppService mainAppService] registerAndReturnError:&error]
                                : [[SMAppService mainAppService] unregisterAndReturnError:&error];
        return ok == YES;
    }
};

}  // namespace

std::unique_ptr<LoginItem> makeLoginItem(const QString&) {
    return std::make_unique<MainAppLoginItem>();
}

}  // namespace velmora::platform
