/* Running per-process GPU-time totals built from utilisation samples. */
#include "bridge/linux/bridge_linux.h"

#define MAX_GAP_NS 10000000000ull
#define FORGET_NS 60000000000ull

void gpu_usage_accumulate(struct gpu_usage_table* t, const int32_t* pids, const uint32_t* util, int n,
                          uint64_t now_ns) {
    /* The first call only starts the clock; a long gap (a suspended machine, a paused
     * sampler) is capped so one stale sample cannot stand for minutes of use. */
    uint64_t elapsed = t->started && now_ns > t->last_ns ? now_ns - t->last_ns : 0;
    if (elapsed > MAX_GAP_NS) elapsed = MAX_GAP_NS;
    t->started = 1;
    t->last_ns = now_ns;

    for (int i = 0; i < n; ++i) {
        if (pids[i] < 1) continue;
        /* Several samples of one process in one batch: use their mean. */
        int seen_before = 0;
        for (int j = 0; j < i && !seen_before; ++j)
            seen_before = pids[j] == pids[i];
        if (seen_before) continue;
        uint64_t sum = 0;
        int samples = 0;
        for (int j = i; j < n; ++j)
            if (pids[j] == pids[i]) {
                sum += util[j] > 100 ? 100 : util[j];
                ++samples;
            }
        int slot = -1;
        for (int k = 0; k < t->count && slot < 0; ++k)
            if (t->pids[k] == pids[i]) slot = k;
        if (slot < 0) {
            if (t->count >= GPU_USAGE_CAPACITY) continue;
            slot = t->count++;
            t->pids[slot] = pids[i];
            t->ns[slot] = 0;
        }
        t->ns[slot] += elapsed * sum / ((uint64_t)samples * 100u);
        t->seen_ns[slot] = now_ns;
    }

    /* Processes without samples for a minute are forgotten. */
    int kept = 0;
    for (int k = 0; k < t->count; ++k) {
        if (now_ns - t->seen_ns[k] > FORGET_NS) continue;
        t->pids[kept] = t->pids[k];
        t->ns[kept] = t->ns[k];
        t->seen_ns[kept] = t->seen_ns[k];
        ++kept;
    }
    t->count = kept;
}

int gpu_usage_export(const struct gpu_usage_table* t, int32_t* pids, uint64_t* times, int capacity) {
    int n = 0;
    for (int k = 0; k < t->count && n < capacity; ++k) {
        if (t->ns[k] == 0) continue;
        pids[n] = t->pids[k];
        times[n] = t->ns[k];
        ++n;
    }
    return n;
}
