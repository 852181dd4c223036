#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build, the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, and the stages in tests/stages/
# (the manual page, the fuzzers for a bounded time, the Debian package, valgrind). Exits
# non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)

echo "== normal build"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test -j"$jobs" --output-on-failure

echo "== sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DONDELIS_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan -j"$jobs" --output-on-failure

for stage in tests/stages/*.sh; do
  [ -e "$stage" ] || continue
  echo "== $(basename "$stage" .sh)"
  bash "$stage"
done
echo "All tests passed."
