/* Per-process GPU time on Linux, from the DRM fdinfo every client file descriptor carries
 * (drm-client-id, drm-pdev, drm-engine-<name>: <ns> ns). */
#define _GNU_SOURCE
#include "bridge/bridge.h"
#include "bridge/linux/bridge_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { MAX_CLIENTS = 512, PDEV_LEN = 32 };

struct client_key {
    char pdev[PDEV_LEN];
    uint64_t id;
};

static int is_number(const char* s) {
    if (!*s) return 0;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return 0;
    return 1;
}

static int has_drm_device(const char* sys_root) {
    char path[512];
    snprintf(path, sizeof path, "%s/class/drm", sys_root);
    DIR* d = opendir(path);
    if (!d) return 0;
    int found = 0;
    struct dirent* e;
    while (!found && (e = readdir(d)) != NULL)
        found = strncmp(e->d_name, "card", 4) == 0 || strncmp(e->d_name, "renderD", 7) == 0;
    closedir(d);
    return found;
}

/* Reads one fdinfo file; returns 1 and fills key/sum when it describes a DRM client. */
static int read_client(int fdinfo_dir, const char* fd_name, struct client_key* key, uint64_t* sum) {
    int fd = openat(fdinfo_dir, fd_name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    char buf[4096];
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0) return 0;
    buf[n] = '\0';

    int has_id = 0;
    memset(key, 0, sizeof *key);
    *sum = 0;
    for (char* line = buf; line && *line;) {
        char* next = strchr(line, '\n');
        if (next) *next++ = '\0';
        char* colon = strchr(line, ':');
        if (colon) {
            *colon = '\0';
            const char* value = colon + 1;
            while (*value == ' ' || *value == '\t') ++value;
            if (strcmp(line, "drm-client-id") == 0) {
                key->id = strtoull(value, NULL, 10);
                has_id = 1;
            } else if (strcmp(line, "drm-pdev") == 0) {
                snprintf(key->pdev, sizeof key->pdev, "%s", value);
            } else if (strncmp(line, "drm-engine-", 11) == 0 && strncmp(line, "drm-engine-capacity-", 20) != 0) {
                /* Engine busy time is "<n> ns"; other units are not time and are skipped. */
                char* end = NULL;
                unsigned long long ns = strtoull(value, &end, 10);
                while (end && (*end == ' ' || *end == '\t')) ++end;
                if (end && strncmp(end, "ns", 2) == 0) *sum += ns;
            }
        }
        line = next;
    }
    return has_id;
}

int gpu_proc_times_at(const char* proc_root, const char* sys_root, int32_t* pids, uint64_t* times,
                      int capacity) {
    if (!has_drm_device(sys_root)) return -1;
    DIR* proc = opendir(proc_root);
    if (!proc) return -1;

    struct client_key seen[MAX_CLIENTS];
    int seen_count = 0;
    int count = 0;
    char path[512], target[64];
    struct dirent* pe;
    while (count < capacity && (pe = readdir(proc)) != NULL) {
        if (!is_number(pe->d_name)) continue;
        long pid = strtol(pe->d_name, NULL, 10);
        if (pid < 1 || pid > INT32_MAX) continue;
        snprintf(path, sizeof path, "%s/%s/fd", proc_root, pe->d_name);
        int fd_dir = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_dir < 0) continue; /* another user's process, or gone */
        snprintf(path, sizeof path, "%s/%s/fdinfo", proc_root, pe->d_name);
        int fdinfo_dir = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR* fds = fdopendir(fd_dir);
        if (!fds) {
            close(fd_dir);
            if (fdinfo_dir >= 0) close(fdinfo_dir);
            continue;
        }
        struct dirent* fe;
        while (fdinfo_dir >= 0 && count < capacity && (fe = readdir(fds)) != NULL) {
            if (!is_number(fe->d_name)) continue;
            ssize_t len = readlinkat(dirfd(fds), fe->d_name, target, sizeof target - 1);
            if (len <= 0) continue;
            target[len] = '\0';
            if (strncmp(target, "/dev/dri/", 9) != 0) continue;

            struct client_key key;
            uint64_t sum = 0;
            if (!read_client(fdinfo_dir, fe->d_name, &key, &sum)) continue;
            /* A client shared by dup() or fd passing shows up under several fds and pids. */
            int duplicate = 0;
            for (int i = 0; i < seen_count && !duplicate; ++i)
                duplicate = seen[i].id == key.id && strcmp(seen[i].pdev, key.pdev) == 0;
            if (duplicate) continue;
            if (seen_count < MAX_CLIENTS) seen[seen_count++] = key;
            if (sum == 0) continue;
            pids[count] = (int32_t)pid;
            times[count] = sum;
            ++count;
        }
        closedir(fds);
        if (fdinfo_dir >= 0) close(fdinfo_dir);
    }
    closedir(proc);
    return count;
}

int gpu_proc_times(int32_t* pids, uint64_t* times, int capacity) {
    if (capacity < 0) capacity = 0;
    const int drm = gpu_proc_times_at("/proc", "/sys", pids, times, capacity);
    const int used = drm > 0 ? drm : 0;
    /* The proprietary NVIDIA driver publishes no engine times; its library does. */
    const int nvidia = nvml_proc_times(pids + used, times + used, capacity - used);
    if (drm < 0 && nvidia < 0) return -1;
    return used + (nvidia > 0 ? nvidia : 0);
}
