#!/usr/bin/env python3
"""Churn soak of the headless mode.

Runs `velmora --print --json --processes --interval 1` while bench/churn.c starts and reaps
short-lived, oddly named processes (about RATE a second), and records per minute the peak
resident memory, the most open descriptors and the share of one core the monitor used.
Every line it prints must be one valid JSON object with a process list; the monitor must
run to its last snapshot and exit cleanly. For a sanitizer build, any report on its error
stream fails the run.

Usage: bench/churn_soak.py <velmora binary> [--seconds 600] [--rate 1000] [--sanitizer]
Targets: resident memory flat (last minute within 5 % of minute 2), descriptors within the
process reader's budget, every line valid, exit status 0.
"""

import argparse
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SANITIZER_MARKS = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:",
                   "WARNING: ThreadSanitizer", "SUMMARY: ")


def build_churn(tmp):
    exe = os.path.join(tmp, "churn")
    subprocess.run(["cc", "-O2", "-o", exe, os.path.join(HERE, "churn.c")], check=True)
    # An odd-named copy the churn runs some children as: spaces, parentheses, a newline.
    odd = os.path.join(tmp, "odd name (1) %2 {0}\nx")
    shutil.copy(exe, odd)
    os.chmod(tmp, 0o755)  # the copy must stay reachable for children that dropped root
    return exe, odd


class Monitor:
    """Reads the monitor's output line by line and checks each one."""

    def __init__(self, proc):
        self.proc = proc
        self.lines = self.invalid = 0
        self.max_processes = 0
        self.pids = set()
        self.first_invalid = None
        self.thread = threading.Thread(target=self.read, daemon=True)
        self.thread.start()

    def read(self):
        for raw in self.proc.stdout:
            self.lines += 1
            try:
                obj = json.loads(raw)
                if not isinstance(obj, dict) or not isinstance(obj.get("processes"), list):
                    raise ValueError("not a snapshot with processes")
                self.max_processes = max(self.max_processes, len(obj["processes"]))
                self.pids.update(p.get("pid") for p in obj["processes"] if isinstance(p, dict))
            except ValueError as e:
                self.invalid += 1
                if self.first_invalid is None:
                    self.first_invalid = f"{e}: {raw[:200]!r}"


def proc_sample(pid):
    """Resident kB, open descriptors and CPU ticks of `pid`, or None once it is gone."""
    try:
        with open(f"/proc/{pid}/status") as f:
            rss = next(int(l.split()[1]) for l in f if l.startswith("VmRSS:"))
        fds = len(os.listdir(f"/proc/{pid}/fd"))
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        ticks = int(fields[11]) + int(fields[12])  # utime, stime
        return rss, fds, ticks
    except (OSError, StopIteration, ValueError, IndexError):
        return None


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("binary")
    ap.add_argument("--seconds", type=int, default=600)
    ap.add_argument("--rate", type=int, default=1000, help="processes started per second")
    ap.add_argument("--sanitizer", action="store_true", help="fail on any sanitizer report")
    args = ap.parse_args()

    tmp = tempfile.mkdtemp(prefix="velmora-soak-")
    try:
        churn, odd = build_churn(tmp)
        os.makedirs(os.path.join(tmp, "config"), exist_ok=True)
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(tmp, "config"), QT_QPA_PLATFORM="offscreen")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        if args.sanitizer:
            # As the test presets run them: leaks count, any undefined behaviour or race stops
            # the run, system libraries' own findings are suppressed.
            support = os.path.join(HERE, "..", "tests", "support")
            env.setdefault("ASAN_OPTIONS", "detect_leaks=1")
            env.setdefault("LSAN_OPTIONS", f"suppressions={support}/lsan.supp")
            env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1")
            env.setdefault("TSAN_OPTIONS", f"suppressions={support}/tsan.supp:halt_on_error=1")
            env.setdefault("QT_NO_GLIB", "1")
        err_path = os.path.join(tmp, "stderr")
        with open(err_path, "w") as err:
            vel = subprocess.Popen([args.binary, "--print", "--json", "--processes", "--interval", "1",
                                    "--count", str(args.seconds)],
                                   stdout=subprocess.PIPE, stderr=err, text=True, env=env)
        mon = Monitor(vel)
        gen = subprocess.Popen([churn, str(args.rate), str(args.seconds + 30), odd],
                               stdout=subprocess.PIPE, text=True)

        clk = os.sysconf("SC_CLK_TCK")
        fd_limit = resource.getrlimit(resource.RLIMIT_NOFILE)
        minutes = []  # (peak rss kB, max fds, cpu ticks used, seconds)
        start = time.monotonic()
        minute_start, minute_ticks, peak_rss, max_fds = start, None, 0, 0
        last_ticks = None
        while vel.poll() is None:
            s = proc_sample(vel.pid)
            now = time.monotonic()
            if s:
                rss, fds, ticks = s
                peak_rss, max_fds, last_ticks = max(peak_rss, rss), max(max_fds, fds), ticks
                if minute_ticks is None:
                    minute_ticks = ticks
            if now - minute_start >= 60 and last_ticks is not None:
                minutes.append((peak_rss, max_fds, last_ticks - minute_ticks, now - minute_start))
                minute_start, minute_ticks, peak_rss, max_fds = now, last_ticks, 0, 0
            time.sleep(0.5)
        status = vel.wait()
        if last_ticks is not None and time.monotonic() - minute_start >= 10:
            minutes.append((peak_rss, max_fds, last_ticks - minute_ticks, time.monotonic() - minute_start))
        mon.thread.join(timeout=10)
        gen.terminate()
        churned = gen.communicate(timeout=60)[0].strip()
        elapsed = time.monotonic() - start
        with open(err_path, errors="replace") as f:
            stderr = f.read()
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    print(f"binary: {args.binary}")
    print(f"churn: {churned} (asked {args.rate}/s); run {elapsed:.0f} s; as uid {os.getuid()}")
    # The process reader keeps files open up to half the open-file limit, which it raises
    # toward its hard limit (at most 16384) first.
    soft, hard = fd_limit
    wanted = 16384 if hard == resource.RLIM_INFINITY else min(hard, 16384)
    budget = (max(soft, wanted) if soft != resource.RLIM_INFINITY else 16384) // 2
    print(f"descriptor budget of the process reader: {budget} (limits: soft {soft}, hard {hard})")
    print()
    print("| minute | peak RSS (MiB) | open descriptors (max) | CPU (% of one core) |")
    print("|---:|---:|---:|---:|")
    for i, (rss, fds, ticks, secs) in enumerate(minutes, 1):
        print(f"| {i} | {rss / 1024:.1f} | {fds} | {100.0 * ticks / clk / secs:.1f} |")
    print()
    print(f"JSON lines: {mon.lines}, invalid: {mon.invalid}; most processes in one snapshot: "
          f"{mon.max_processes}; distinct pids listed: {len(mon.pids)}")
    if mon.first_invalid:
        print(f"first invalid line: {mon.first_invalid}")
    print(f"exit status: {status}")

    problems = []
    if status != 0:
        problems.append(f"exit status {status}")
    if minutes and max(m[1] for m in minutes) > budget + 256:
        problems.append("descriptors past the reader's budget")
    if mon.invalid or mon.lines < args.seconds * 0.9:
        problems.append(f"{mon.invalid} invalid lines of {mon.lines}")
    if len(minutes) >= 3:
        second, last = minutes[1][0], minutes[-1][0]
        drift = (last - second) / second * 100
        print(f"RSS drift, last minute against minute 2: {drift:+.1f} %")
        if drift > 5:
            problems.append(f"RSS grew {drift:.1f} %")
    reports = [l for l in stderr.splitlines() if any(m in l for m in SANITIZER_MARKS)]
    if args.sanitizer:
        print(f"sanitizer reports: {len(reports)}")
        if reports:
            problems.append("sanitizer reports")
            print("\n".join(stderr.splitlines()[:80]))
    if problems:
        print("FAILED: " + "; ".join(problems))
        return 1
    print("OK")
    return 0


if __name__ == "__main__":
    sys.exit(main())
