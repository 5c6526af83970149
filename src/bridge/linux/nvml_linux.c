/* NVIDIA devices through the NVIDIA management library, loaded at run time so that the
 * program neither links against it nor needs it installed. Only the handful of entry points
 * used here are declared; their layouts are the library's stable public ones. */
#define _GNU_SOURCE
#include "bridge/linux/bridge_linux.h"

#include <dlfcn.h>
#include <pthread.h>
#include <string.h>
#include <time.h>

typedef struct nvml_device* nvml_device_t;
typedef int nvml_return_t;

enum {
    NVML_SUCCESS = 0,
    NVML_ERROR_NOT_FOUND = 6,
    NVML_ERROR_INSUFFICIENT_SIZE = 7,
    NVML_TEMPERATURE_GPU = 0,
    MAX_DEVICES = 16,
    MAX_SAMPLES = 256,
};

typedef struct {
    unsigned int gpu;
    unsigned int memory;
} nvml_utilization_t;

typedef struct {
    unsigned int pid;
    unsigned long long timeStamp; /* microseconds */
    unsigned int smUtil;
    unsigned int memUtil;
    unsigned int encUtil;
    unsigned int decUtil;
} nvml_process_sample_t;

static struct {
    nvml_return_t (*init)(void);
    nvml_return_t (*count)(unsigned int*);
    nvml_return_t (*handle)(unsigned int, nvml_device_t*);
    nvml_return_t (*utilization)(nvml_device_t, nvml_utilization_t*);
    nvml_return_t (*temperature)(nvml_device_t, int, unsigned int*);
    nvml_return_t (*process_utilization)(nvml_device_t, nvml_process_sample_t*, unsigned int*,
                                         unsigned long long);
    nvml_device_t devices[MAX_DEVICES];
    unsigned long long last_seen[MAX_DEVICES];
    unsigned int device_count;
    int ready;
} nvml;

static pthread_once_t nvml_once = PTHREAD_ONCE_INIT;

static void* symbol(void* lib, const char* name) {
    return dlsym(lib, name);
}

static void nvml_load(void) {
    void* lib = dlopen("libnvidia-ml.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!lib) return;
    *(void**)&nvml.init = symbol(lib, "nvmlInit_v2");
    *(void**)&nvml.count = symbol(lib, "nvmlDeviceGetCount_v2");
    *(void**)&nvml.handle = symbol(lib, "nvmlDeviceGetHandleByIndex_v2");
    *(void**)&nvml.utilization = symbol(lib, "nvmlDeviceGetUtilizationRates");
    *(void**)&nvml.temperature = symbol(lib, "nvmlDeviceGetTemperature");
    *(void**)&nvml.process_utilization = symbol(lib, "nvmlDeviceGetProcessUtilization");
    unsigned int n = 0;
    if (!nvml.init || !nvml.count || !nvml.handle || nvml.init() != NVML_SUCCESS ||
        nvml.count(&n) != NVML_SUCCESS) {
        dlclose(lib);
        memset(&nvml, 0, sizeof nvml);
        return;
    }
    /* The library stays loaded for the life of the process. */
    for (unsigned int i = 0; i < n && nvml.device_count < MAX_DEVICES; ++i)
        if (nvml.handle(i, &nvml.devices[nvml.device_count]) == NVML_SUCCESS) ++nvml.device_count;
    nvml.ready = nvml.device_count > 0;
}

static int nvml_ok(void) {
    pthread_once(&nvml_once, nvml_load);
    return nvml.ready;
}

int nvml_utilization(double* best) {
    *best = 0;
    if (!nvml_ok() || !nvml.utilization) return -1;
    int read = 0;
    for (unsigned int i = 0; i < nvml.device_count; ++i) {
        nvml_utilization_t u;
        if (nvml.utilization(nvml.devices[i], &u) != NVML_SUCCESS) continue;
        if (u.gpu > *best) *best = u.gpu;
        ++read;
    }
    return read;
}

int nvml_temperatures(double* celsius, int capacity) {
    if (!nvml_ok() || !nvml.temperature) return -1;
    int n = 0;
    for (unsigned int i = 0; i < nvml.device_count && n < capacity; ++i) {
        unsigned int t = 0;
        if (nvml.temperature(nvml.devices[i], NVML_TEMPERATURE_GPU, &t) == NVML_SUCCESS) celsius[n++] = t;
    }
    return n;
}

/* Process samples are utilisation percentages, not time; they are turned into a running
 * GPU-time total per process so callers can difference two calls like any other source. */
static struct gpu_usage_table usage;
static pthread_mutex_t usage_lock = PTHREAD_MUTEX_INITIALIZER;

static uint64_t monotonic_ns(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

int nvml_proc_times(int32_t* pids, uint64_t* times, int capacity) {
    if (!nvml_ok() || !nvml.process_utilization) return -1;
    pthread_mutex_lock(&usage_lock);
    static nvml_process_sample_t samples[MAX_SAMPLES];
    int32_t sample_pids[MAX_SAMPLES];
    uint32_t sample_util[MAX_SAMPLES];
    int n = 0;
    for (unsigned int d = 0; d < nvml.device_count; ++d) {
        unsigned int count = MAX_SAMPLES;
        nvml_return_t r = nvml.process_utilization(nvml.devices[d], samples, &count, nvml.last_seen[d]);
        if (r != NVML_SUCCESS) continue; /* NOT_FOUND: no new samples; others: unsupported */
        if (count > MAX_SAMPLES) count = MAX_SAMPLES;
        for (unsigned int i = 0; i < count && n < MAX_SAMPLES; ++i) {
            if (samples[i].timeStamp > nvml.last_seen[d]) nvml.last_seen[d] = samples[i].timeStamp;
            if (samples[i].pid == 0 || samples[i].pid > INT32_MAX) continue;
            sample_pids[n] = (int32_t)samples[i].pid;
            sample_util[n] = samples[i].smUtil;
            ++n;
        }
    }
    gpu_usage_accumulate(&usage, sample_pids, sample_util, n, monotonic_ns());
    const int filled = gpu_usage_export(&usage, pids, times, capacity);
    pthread_mutex_unlock(&usage_lock);
    return filled;
}
