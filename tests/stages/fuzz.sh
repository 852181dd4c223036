#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on a scratch copy
# of its seed corpus. Fails on any crash, sanitizer report, leak, timeout or out-of-memory;
# what made it fail is kept in build-fuzz/artifacts/.
# ONDELIS_FUZZ_SECONDS sets the time per target (default 60).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
seconds=${ONDELIS_FUZZ_SECONDS:-60}
build=$root/build-fuzz

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DONDELIS_FUZZ=ON -DONDELIS_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_menu fuzz_direct fuzz_scale fuzz_listen fuzz_piano

work=$(mktemp -d "${TMPDIR:-/tmp}/ondelis-fuzz-stage-XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
for target in menu direct scale listen piano; do
  dir=$work/$target
  mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/tmp"
  cp "$root/fuzz/corpus/$target/"* "$dir/corpus/"
  seeds=$(ls "$dir/corpus" | wc -l)
  # The fuzzers change into a scratch directory of their own, so every path is absolute.
  # close_fd_mask silences the program's own output; libFuzzer and the sanitizers keep
  # reporting on a copy of stderr.
  set +e
  # A fuzzer stuck past its time (a read that never returns, where libFuzzer's own timeout
  # deadlocked with its symbolizer) is stopped and fails the stage rather than stalling it.
  TMPDIR=$dir/tmp timeout --kill-after=10 $((seconds + 120)) "$build/fuzz/fuzz_$target" \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=1024 -max_len=1024 \
    -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$dir/artifacts/" \
    "$dir/corpus" >"$dir/log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")
  found=$(ls "$dir/artifacts")
  reports=$(grep -E 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:|==ERROR|ALARM|out-of-memory|deadly signal' "$dir/log" || true)
  if [ "$rc" -ne 0 ] || [ -n "$found" ] || [ -n "$reports" ] || [ -z "$runs" ] || [ "$runs" -eq 0 ]; then
    echo "fuzz_$target FAILED (exit status $rc)"
    tail -n 60 "$dir/log"
    if [ -n "$found" ]; then
      mkdir -p "$build/artifacts"
      cp "$dir/artifacts/"* "$build/artifacts/"
      echo "inputs kept in $build/artifacts: $found"
    fi
    status=1
  else
    echo "fuzz_$target: $runs executions in ${seconds} s, corpus $seeds seeds -> $(ls "$dir/corpus" | wc -l) inputs"
  fi
done
exit $status
