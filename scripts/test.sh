#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build, the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, and the stages in tests/stages/
# (the suites built for armhf and arm64 and run under qemu, the manual page, the fuzzers for a
# bounded time, the Debian packages, valgrind). Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)

# CTest names a skipped test but not why; GoogleTest wrote the reason in the log, on the line
# after "Skipped".
show_skip_reasons() {
  local log=$1/Testing/Temporary/LastTest.log
  grep -h -A1 ': Skipped$' "$log" 2>/dev/null | grep -v -e ': Skipped$' -e '^--$' | sort |
    uniq -c | awk '{ n = $1; $1 = ""; printf "Skipped %d test(s):%s\n", n, $0 }' || true
}

echo "== normal build"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test -j"$jobs" --output-on-failure
show_skip_reasons build-test

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DONDELIS_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan -j"$jobs" --output-on-failure
show_skip_reasons build-asan

for stage in tests/stages/*.sh; do
  [ -e "$stage" ] || continue
  echo "== $(basename "$stage" .sh)"
  bash "$stage"
done
echo "All tests passed."
