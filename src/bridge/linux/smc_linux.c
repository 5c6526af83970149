/* Fan speeds on Linux from the hwmon chips: fan<N>_input, _target, _min and _max, in
 * revolutions per minute. Fan numbers count every fan that has an input, chip by chip. */
#define _GNU_SOURCE
#include "bridge/bridge.h"
#include "bridge/linux/bridge_linux.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum { MAX_FANS = 255, KINDS = 4, RESCAN_SECONDS = 3 };

static const char* const kind_names[KINDS] = {"input", "target", "min", "max"};

struct fan {
    unsigned chip; /* N of hwmonN */
    unsigned index;
    int fd[KINDS];
};

/* One engine calls these from its sampling thread; a lock keeps a second engine (as in
 * tests) from racing on the cached fan list. */
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static char sys_root[512] = "/sys";
static struct fan fans[MAX_FANS];
static int fan_total = -1; /* -1: not scanned, or the chips cannot be listed */
static time_t scanned_at;

static int parse_number(const char* s, const char* prefix, const char* suffix, unsigned* out) {
    size_t p = strlen(prefix);
    if (strncmp(s, prefix, p) != 0) return 0;
    s += p;
    if (*s < '0' || *s > '9') return 0;
    char* end = NULL;
    unsigned long v = strtoul(s, &end, 10);
    if (strcmp(end, suffix) != 0 || v > 100000) return 0;
    *out = (unsigned)v;
    return 1;
}

static int by_chip_then_index(const void* a, const void* b) {
    const struct fan* x = a;
    const struct fan* y = b;
    if (x->chip != y->chip) return x->chip < y->chip ? -1 : 1;
    return x->index < y->index ? -1 : x->index > y->index;
}

static void close_fans(void) {
    for (int i = 0; i < (fan_total > 0 ? fan_total : 0); ++i)
        for (int k = 0; k < KINDS; ++k)
            if (fans[i].fd[k] >= 0) close(fans[i].fd[k]);
    fan_total = -1;
}

static time_t now_seconds(void) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec;
}

static void scan(void) {
    close_fans();
    scanned_at = now_seconds();
    char path[1024];
    snprintf(path, sizeof path, "%s/class/hwmon", sys_root);
    DIR* hw = opendir(path);
    if (!hw) return;
    int n = 0;
    struct dirent* c;
    while ((c = readdir(hw)) != NULL) {
        unsigned chip;
        if (!parse_number(c->d_name, "hwmon", "", &chip)) continue;
        snprintf(path, sizeof path, "%s/class/hwmon/%s", sys_root, c->d_name);
        DIR* d = opendir(path);
        if (!d) continue; /* a chip that vanished while we looked */
        struct dirent* f;
        while (n < MAX_FANS && (f = readdir(d)) != NULL) {
            unsigned index;
            if (!parse_number(f->d_name, "fan", "_input", &index)) continue;
            fans[n].chip = chip;
            fans[n].index = index;
            for (int k = 0; k < KINDS; ++k)
                fans[n].fd[k] = -1;
            ++n;
        }
        closedir(d);
    }
    closedir(hw);
    qsort(fans, (size_t)n, sizeof fans[0], by_chip_then_index);
    fan_total = n;
}

void smc_fan_set_sys_root(const char* root) {
    pthread_mutex_lock(&lock);
    close_fans();
    snprintf(sys_root, sizeof sys_root, "%s", root ? root : "/sys");
    pthread_mutex_unlock(&lock);
}

int smc_fan_count(void) {
    pthread_mutex_lock(&lock);
    scan();
    const int n = fan_total;
    pthread_mutex_unlock(&lock);
    return n;
}

/* Reads one attribute, keeping its descriptor for the next tick; sysfs gives fresh content
 * at offset 0. A failed read (EIO or ENODATA while a device sleeps, ENODEV once it is gone)
 * closes it, so the next call opens it again. */
static float read_attribute(struct fan* f, int kind) {
    if (f->fd[kind] < 0) {
        char path[1024];
        snprintf(path, sizeof path, "%s/class/hwmon/hwmon%u/fan%u_%s", sys_root, f->chip, f->index,
                 kind_names[kind]);
        f->fd[kind] = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (f->fd[kind] < 0) return -1;
    }
    char buf[32];
    ssize_t n;
    do
        n = pread(f->fd[kind], buf, sizeof buf - 1, 0);
    while (n < 0 && errno == EINTR);
    if (n <= 0) {
        close(f->fd[kind]);
        f->fd[kind] = -1;
        return -1;
    }
    buf[n] = '\0';
    char* end = NULL;
    errno = 0;
    long v = strtol(buf, &end, 10);
    while (end && (*end == '\n' || *end == ' '))
        ++end;
    if (errno != 0 || end == buf || (end && *end != '\0') || v < 0) return -1;
    return (float)v;
}

float smc_fan_value(int fan, const char* suffix) {
    if (!suffix) return -1;
    int kind = -1;
    if (strcmp(suffix, "Ac") == 0)
        kind = 0;
    else if (strcmp(suffix, "Tg") == 0)
        kind = 1;
    else if (strcmp(suffix, "Mn") == 0)
        kind = 2;
    else if (strcmp(suffix, "Mx") == 0)
        kind = 3;
    if (kind < 0) return -1;
    pthread_mutex_lock(&lock);
    /* Chips renumber when a driver reloads; look again now and then. */
    if (fan_total < 0 || now_seconds() - scanned_at >= RESCAN_SECONDS) scan();
    const float v = fan >= 0 && fan < fan_total ? read_attribute(&fans[fan], kind) : -1;
    pthread_mutex_unlock(&lock);
    return v;
}

float smc_fan_rpm(int fan) {
    return smc_fan_value(fan, "Ac");
}
float smc_fan_target(int fan) {
    return smc_fan_value(fan, "Tg");
}
float smc_fan_min(int fan) {
    return smc_fan_value(fan, "Mn");
}
float smc_fan_max(int fan) {
    return smc_fan_value(fan, "Mx");
}
