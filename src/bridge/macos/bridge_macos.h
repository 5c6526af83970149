/* The low-level C functions on macOS: fan speeds from the System Management Controller and
 * per-process GPU time from the accelerators' clients. Every function returns -1 on failure.
 * Called only from the engine's sampling thread (and the engine's construction), never
 * concurrently. The platform readers (platform/macos) wrap them; Linux has readers of its
 * own and no counterpart of these. */
#ifndef VELMORA_BRIDGE_MACOS_H
#define VELMORA_BRIDGE_MACOS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Number of fans (0-255), or -1 when the fan controller cannot be reached. */
int smc_fan_count(void);
/* One reading of fan `fan` (0-based): suffix "Ac" actual, "Tg" target, "Mn" minimum,
 * "Mx" maximum speed, in revolutions per minute; -1 when unreadable. */
float smc_fan_value(int fan, const char* suffix);
float smc_fan_rpm(int fan);
float smc_fan_target(int fan);
float smc_fan_min(int fan);
float smc_fan_max(int fan);

/* Accumulated GPU time per client, in nanoseconds: fills at most `capacity` entries of the
 * parallel arrays and returns how many it filled, or -1 when there is no GPU to ask. A
 * process may fill several entries (one per client it owns); the caller sums them. */
int gpu_proc_times(int32_t* pids, uint64_t* times, int capacity);

#ifdef __cplusplus
}
#endif

#endif
