/* The C that Linux keeps: NVIDIA's management library, loaded at run time when installed,
 * and the accounting that turns its utilisation samples into GPU time per process. */
#ifndef VELMORA_BRIDGE_LINUX_H
#define VELMORA_BRIDGE_LINUX_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* NVIDIA devices through the management library when it is installed. Each returns -1 when
 * the library or a device is not available. */
int nvml_utilization(double* best);                   /* busiest device's percent; devices read */
int nvml_temperatures(double* celsius, int capacity); /* one per device */
int nvml_proc_times(int32_t* pids, uint64_t* times, int capacity);

/* Running GPU-time totals per process, built from utilisation samples (percent of one
 * GPU over the interval since the previous call). */
enum { GPU_USAGE_CAPACITY = 512 };
struct gpu_usage_table {
    int32_t pids[GPU_USAGE_CAPACITY];
    uint64_t ns[GPU_USAGE_CAPACITY];
    uint64_t seen_ns[GPU_USAGE_CAPACITY];
    int count;
    int started;
    uint64_t last_ns;
};
/* Adds `util[i]` percent of the time since the previous call to process `pids[i]` (the
 * mean when a process has several samples); the first call only starts the clock. */
void gpu_usage_accumulate(struct gpu_usage_table* table, const int32_t* pids, const uint32_t* util, int n,
                          uint64_t now_ns);
/* Copies the non-zero totals out; returns how many. */
int gpu_usage_export(const struct gpu_usage_table* table, int32_t* pids, uint64_t* times, int capacity);

#ifdef __cplusplus
}
#endif

#endif
