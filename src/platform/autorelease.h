#pragma once

namespace velmora::platform {

#ifdef __APPLE__
// Runs `work(context)` inside an autorelease pool that is drained when it returns.
void runInAutoreleasePool(void (*work)(void*), void* context);
#endif

// Runs `work` so that the Objective-C objects the system hands out autoreleased meanwhile
// are released when it returns: only the main thread drains a pool on its own, so on a
// long-lived worker they would pile up for the whole run. Elsewhere it just runs `work`.
template <typename Work>
void withAutoreleasePool(Work work) {
#ifdef __APPLE__
    runInAutoreleasePool([](void* w) { (*static_cast<Work*>(w))(); }, &work);
#else
    work();
#endif
}

}  // namespace velmora::platform
