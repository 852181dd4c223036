#!/usr/bin/env bash
# Installs what is missing, then builds and runs the tests. Exits non-zero when anything fails.
#
#   scripts/test.sh          the check of a change, about six minutes on two cores: one build
#                            with AddressSanitizer and UndefinedBehaviorSanitizer runs every
#                            test once, the fuzz corpora replayed through their targets among
#                            them; then the stages: the layers, the manual page, the native
#                            Debian package (its Release build also serves valgrind), and the
#                            suites of bytes and arithmetic built for armhf and arm64 and run
#                            under qemu.
#   scripts/test.sh --full   before a release, or after a change to the build, the packaging
#                            or code that differs by architecture: the same, and every suite
#                            under qemu, the packages for armhf and arm64, the reproducibility
#                            rebuild, and the fuzzers exploring for ONDELIS_FUZZ_SECONDS each.
set -euo pipefail
cd "$(dirname "$0")/.."
tier=fast
case "${1:-}" in
  "") ;;
  --full) tier=full ;;
  *)
    echo "usage: $0 [--full]" >&2
    exit 2
    ;;
esac
scripts/install-deps.sh test
jobs=$(nproc)
started=$SECONDS

# CTest names a skipped test but not why; GoogleTest wrote the reason in the log, on the line
# after "Skipped".
show_skip_reasons() {
  local log=$1/Testing/Temporary/LastTest.log
  grep -h -A1 ': Skipped$' "$log" 2>/dev/null | grep -v -e ': Skipped$' -e '^--$' | sort |
    uniq -c | awk '{ n = $1; $1 = ""; printf "Skipped %d test(s):%s\n", n, $0 }' || true
}

# stage NAME COMMAND...: runs a step and says how long it took.
stage() {
  local name=$1 from=$SECONDS
  shift
  echo "== $name"
  "$@"
  echo "== $name: $((SECONDS - from)) s"
}

# One test build: optimized, so that the estimator's tests and the real-time ones run at speed,
# and with the sanitizers, so that every test is also a memory and undefined-behaviour check.
# Line tables (-g1) are all a sanitizer's report needs, and cost a quarter less to compile.
test_build() {
  cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDELIS_SANITIZE=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" >/dev/null
  cmake --build build-test -j"$jobs"
}

test_suite() {
  ctest --test-dir build-test -j"$jobs" --output-on-failure
  show_skip_reasons build-test
}

stage "test build" test_build
stage "test suite" test_suite
stage install_deps bash tests/stages/install_deps.sh
stage layers bash tests/stages/layers.sh
stage docs bash tests/stages/docs.sh
# Before the packages: it sets up qemu, which runs the ARM packages' programs.
stage cross bash tests/stages/cross.sh "--$tier"
stage package bash tests/stages/package.sh "--$tier"
stage valgrind bash tests/stages/valgrind.sh
[ "$tier" = fast ] || stage fuzz bash tests/stages/fuzz.sh
echo "All tests passed ($tier, $((SECONDS - started)) s)."
