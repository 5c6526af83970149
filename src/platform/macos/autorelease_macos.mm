// A drained autorelease pool around work on threads that have none of their own.
#include "platform/autorelease.h"

#import <Foundation/Foundation.h>

namespace velmora::platform {

void runInAutoreleasePool(void (*work)(void*), void* context) {
    @autoreleasepool {
        work(context);
    }
}

}  // namespace velmora::platform
