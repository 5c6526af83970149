/* Linux implementations of the low-level functions, with their roots as parameters so
 * tests can point them at fixture trees. */
#ifndef VELMORA_BRIDGE_LINUX_H
#define VELMORA_BRIDGE_LINUX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Per-client GPU time from the fdinfo of every DRM file descriptor under `proc_root`:
 * each client (one drm-client-id on one drm-pdev) is counted once, under the first pid
 * found holding it, with the sum of its drm-engine-* nanoseconds. -1 when `sys_root` shows
 * no DRM device. */
int gpu_proc_times_at(const char* proc_root, const char* sys_root, int32_t* pids, uint64_t* times,
                      int capacity);

#ifdef __cplusplus
}
#endif

#endif
