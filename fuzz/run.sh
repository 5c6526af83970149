#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for FUZZ_SECONDS each, one after another, on
# a corpus seeded from the test fixtures and fuzz/seeds/<target>. Prints the executions each
# reached; exits non-zero when any target finds a crash, a leak, a hang or undefined
# behaviour. The failing input is left under <build>/fuzz-findings/.
#
# Usage: fuzz/run.sh <build folder> [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: fuzz/run.sh <build folder> [target...]}" && pwd)
shift
seconds=${FUZZ_SECONDS:-60}
fixtures=tests/fixtures

# Fixture files that are recorded inputs of a target, as globs under the tree's root; every
# target also takes the recorded texts under fuzz/seeds/<target>/.
declare -A seeds=(
  [proc_stat]="$fixtures/proc/desktop/stat $fixtures/machines/*/proc/stat"
  [proc_pid_stat]="$fixtures/proc/processes/*/stat"
  [proc_pid_counters]="$fixtures/proc/processes/*/statm $fixtures/proc/processes/*/io $fixtures/proc/processes/*/schedstat"
  [proc_cmdline]="$fixtures/proc/processes/*/cmdline"
  [meminfo]="$fixtures/machines/*/proc/meminfo"
  [diskstats]="$fixtures/machines/*/proc/diskstats"
  [net_dev]="$fixtures/machines/*/proc/net/dev $fixtures/proc/processes/net/dev"
  [drm_fdinfo]="$fixtures/gpu/*/proc/*/fdinfo/*"
  [sysfs_values]="$fixtures/machines/*/sys/class/hwmon/*/* $fixtures/machines/*/sys/class/power_supply/*/* $fixtures/machines/*/sys/class/thermal/*/* $fixtures/sys/*/devices/system/cpu/*"
)

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for bin in "$build"/fuzz/fuzz_*; do
    [ -f "$bin" ] && [ -x "$bin" ] && targets+=("${bin##*/fuzz_}")
  done
fi

findings="$build/fuzz-findings"
mkdir -p "$findings"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/support/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen

failed=()
printf '%-20s %14s %10s %8s\n' target executions exec/s corpus
for t in "${targets[@]}"; do
  bin="$build/fuzz/fuzz_$t"
  [ -x "$bin" ] || { echo "no such fuzz target: $t" >&2; exit 2; }
  corpus="$build/fuzz-corpus/$t"
  seeddir="$build/fuzz-seeds/$t"
  rm -rf "$seeddir"
  mkdir -p "$corpus" "$seeddir"
  # Files are copied under their path-derived names so same-named fixtures stay apart.
  for pattern in ${seeds[$t]:-} "fuzz/seeds/$t/*"; do
    for f in $root/$pattern; do
      [ -f "$f" ] && cp "$f" "$seeddir/$(echo "${f#"$root"/}" | tr '/' '_')"
    done
  done
  log="$build/fuzz-logs/$t.log"
  mkdir -p "$(dirname "$log")"
  status=0
  (cd "$root" && "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$findings/$t-" "$corpus" "$seeddir") >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  printf '%-20s %14s %10s %8s\n' "$t" "${execs:-?}" "${rate:-?}" "$(ls "$corpus" | wc -l)"
  if [ $status -ne 0 ]; then
    failed+=("$t")
    echo "  finding in $t (exit $status); log: $log" >&2
    grep -E "ERROR|runtime error|SUMMARY|Test unit written" "$log" | head -8 >&2 || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
