/* Process churn for the soak test: starts and reaps short-lived processes at a steady
 * rate for a given time. Children take odd names (spaces, parentheses, newlines, escape
 * characters, placeholders, invalid UTF-8), live from nothing to a few tens of
 * milliseconds (so many vanish while a sampler reads them), stay zombies until the next
 * reaping round (up to 10 ms), and when run as root one in five belongs to another user.
 *
 * Most children share this program's memory (clone without a copy of the page tables), so
 * a high rate costs little even where fork is slow; one in fifty is a real fork that
 * touches memory of its own, one in fifty runs an odd-named copy of this program.
 *
 * Usage: churn <per second> <seconds> [odd-named copy of this program] [workers]
 * Prints "spawned N in S s" on exit. */
#define _GNU_SOURCE
#include <errno.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static const char* const kNames[] = {
    "a b (c) d", "x) (y",     "new\nline",     "tab\there", "esc\x1b[2J",      "%1%2 %3",
    "miner{1}",  "a<b>&c",    "\xff\xfe bad",  ")",         "((((",            "\"quoted\"",
    "emoji \xf0\x9f\x98\x80", "",              "long-name-cut-at-15-bytes",
};
enum { kNameCount = sizeof kNames / sizeof kNames[0] };
enum { kMaxAlive = 2048, kStackBytes = 64 << 10, kNobody = 65534 };

static volatile sig_atomic_t stop = 0;
static void onSignal(int sig) {
    (void)sig;
    stop = 1;
}

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

/* Raw system calls only in shared-memory children: the C library's own state (locks,
 * thread list) belongs to the parent. */
static void rawSleepMs(long ms) {
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    syscall(SYS_nanosleep, &t, NULL);
}

static int sharedChild(void* arg) {
    const unsigned long n = (unsigned long)arg;
    if (getuid() == 0 && n % 5 == 0) {
        if (syscall(SYS_setgid, kNobody) != 0 || syscall(SYS_setuid, kNobody) != 0) syscall(SYS_exit, 1);
    }
    syscall(SYS_prctl, PR_SET_NAME, kNames[n % kNameCount], 0, 0, 0);
    if (n % 3 == 1) {
        rawSleepMs((long)(n % 25));
    } else if (n % 3 == 2) { /* a little CPU time to account */
        struct timespec t0, t;
        syscall(SYS_clock_gettime, CLOCK_MONOTONIC, &t0);
        do
            syscall(SYS_clock_gettime, CLOCK_MONOTONIC, &t);
        while ((t.tv_sec - t0.tv_sec) * 1000000000L + (t.tv_nsec - t0.tv_nsec) < (long)(n % 4) * 1000000L);
    }
    syscall(SYS_exit, 0);
    return 0;
}

/* A forked child: its own memory, touched, or an odd-named program. */
static void forkedChild(unsigned long n, const char* oddExe) {
    if (getuid() == 0 && n % 5 == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(1);
    }
    if (oddExe && n % 100 == 1) {
        char ms[16];
        snprintf(ms, sizeof ms, "%lu", n % 30);
        char* const argv[] = {(char*)kNames[n % kNameCount], ms, NULL};
        execv(oddExe, argv);
        _exit(1);
    }
    prctl(PR_SET_NAME, kNames[n % kNameCount], 0, 0, 0);
    const size_t bytes = (size_t)(1 + n % 8) << 20;
    char* p = malloc(bytes);
    if (p) memset(p, (int)n, bytes);
    rawSleepMs((long)(n % 10));
    _exit(0);
}

struct Worker {
    char* stacks;
    pid_t pid[kMaxAlive]; /* 0: the stack in this slot is free */
    long alive;
};

static pid_t start(struct Worker* w, unsigned long n, const char* oddExe) {
    if (n % 50 == 1) {
        const pid_t pid = fork();
        if (pid == 0) forkedChild(n, oddExe);
        return pid;
    }
    for (int slot = 0; slot < kMaxAlive; ++slot) {
        if (w->pid[slot] != 0) continue;
        char* top = w->stacks + (size_t)(slot + 1) * kStackBytes;
        const pid_t pid = clone(sharedChild, top, CLONE_VM | SIGCHLD, (void*)n);
        if (pid > 0) w->pid[slot] = pid;
        return pid;
    }
    return -1;
}

static void reaped(struct Worker* w, pid_t pid) {
    --w->alive;
    for (int slot = 0; slot < kMaxAlive; ++slot)
        if (w->pid[slot] == pid) {
            w->pid[slot] = 0;
            return;
        }
}

/* One worker's loop: `rate` children a second, numbered from `first` in steps of `step`
 * (the number picks each child's name and life). Returns the count started. */
static unsigned long churn(double rate, double seconds, const char* oddExe, unsigned long first,
                           unsigned long step) {
    static struct Worker w;
    w.stacks = mmap(NULL, (size_t)kMaxAlive * kStackBytes, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (w.stacks == MAP_FAILED) return 0;
    const double begin = now();
    const double tick = 0.01;
    unsigned long spawned = 0;
    for (double next = begin; !stop && now() - begin < seconds; next += tick) {
        const unsigned long due = (unsigned long)((next - begin + tick) * rate);
        while (spawned < due && w.alive < kMaxAlive) {
            if (start(&w, first + spawned * step, oddExe) < 0) break;
            ++spawned;
            ++w.alive;
        }
        /* Reaped once a tick: until then a finished child stays a zombie. */
        pid_t pid;
        while ((pid = waitpid(-1, NULL, WNOHANG)) > 0)
            reaped(&w, pid);
        const double wait = next + tick - now();
        if (wait > 0) {
            struct timespec t = {0, (long)(wait * 1e9)};
            nanosleep(&t, NULL);
        }
    }
    pid_t pid;
    while (w.alive > 0 && (pid = waitpid(-1, NULL, 0)) > 0)
        reaped(&w, pid);
    return spawned;
}

int main(int argc, char** argv) {
    /* Run as the odd-named program: sleep the given milliseconds and exit. */
    if (argc == 2) {
        rawSleepMs(atol(argv[1]));
        return 0;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: churn <per second> <seconds> [odd executable] [workers]\n");
        return 2;
    }
    const double rate = atof(argv[1]);
    const double seconds = atof(argv[2]);
    const char* oddExe = argc > 3 && argv[3][0] ? argv[3] : NULL;
    const int workers = argc > 4 && atoi(argv[4]) > 0 ? atoi(argv[4]) : 1;
    /* Without SA_RESTART, so a stop interrupts the wait for the workers' counts. */
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    /* Several workers keep the rate up on a machine where each start waits for a core. */
    int counts[2];
    if (pipe(counts) != 0) return 1;
    const double begin = now();
    pid_t pids[64];
    int started = 0;
    for (int i = 0; i < workers && i < 64; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(counts[0]);
            const unsigned long n = churn(rate / workers, seconds, oddExe, (unsigned long)i, (unsigned long)workers);
            if (write(counts[1], &n, sizeof n) != sizeof n) _exit(1);
            _exit(0);
        }
        if (pid > 0) pids[started++] = pid;
    }
    close(counts[1]);
    unsigned long total = 0, n = 0;
    for (;;) {
        const ssize_t got = read(counts[0], &n, sizeof n);
        if (got == sizeof n) {
            total += n;
        } else if (got < 0 && errno == EINTR) {
            for (int i = 0; i < started; ++i)
                kill(pids[i], SIGTERM);
        } else {
            break;
        }
    }
    for (int i = 0; i < started; ++i)
        waitpid(pids[i], NULL, 0);
    printf("spawned %lu in %.1f s\n", total, now() - begin);
    return 0;
}
