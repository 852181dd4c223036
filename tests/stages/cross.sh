#!/usr/bin/env bash
# Builds test suites for armhf and arm64 with Debian's cross compilers (build-cross-ARCH) and
# runs them under qemu-user, which binfmt_misc starts for every ARM program as if it were
# native: the test programs, and the program they run. armhf matters most: it is the 32-bit
# build, where size_t, long and pointers are 4 bytes. The end-to-end suites stay native.
#
#   cross.sh [--fast]   the suites of bytes and arithmetic: the generator, pitch, tunings, the
#                       WAV export, playback's frames, sound files, and hostile input to the
#                       program (half a minute or so an architecture)
#   cross.sh --full     every suite: listening, direct mode, the menu and the faults too (qemu
#                       runs floating-point DSP about 27 times slower, so this takes long)
#
# binfmt_misc is mounted and qemu's handlers registered when they are missing; where that
# cannot be had, the stage says why and skips, and with CI=true fails instead. Prints, per
# architecture, how many tests passed.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
case "${1:---fast}" in
  --fast) targets=(synth_tests output_tests input_tests hostile_tests) skip='|^FuzzCorpus\.' ;;
  --full) targets=(all) skip= ;;
  *)
    echo "usage: $0 [--fast|--full]" >&2
    exit 2
    ;;
esac
binfmt=/proc/sys/fs/binfmt_misc
declare -A handlers=([armhf]=qemu-arm [arm64]=qemu-aarch64)
version=$(sed -n 's/^project(ondelis VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)

unavailable() {
  if [ "${CI:-}" = true ]; then
    echo "cross: $* (CI=true: the stage fails instead of skipping)" >&2
    exit 1
  fi
  echo "cross: skipped: $*"
  exit 0
}

mount_binfmt() {
  [ -e "$binfmt/register" ] && return 0
  [ -d "$binfmt" ] || unavailable "the kernel has no binfmt_misc ($binfmt is missing)"
  local why
  why=$("${sudo[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" 2>&1) ||
    unavailable "binfmt_misc is not mounted and cannot be: mount -t binfmt_misc: $why"
}

enabled() { [ "$(head -n 1 "$binfmt/$1" 2>/dev/null)" = enabled ]; }

# qemu-user-static registers its handlers when it is installed, unless binfmt_misc was not
# mounted then, or they were switched off since.
register_handler() {
  local handler=${handlers[$1]}
  enabled status || echo 1 | "${sudo[@]}" tee "$binfmt/status" >/dev/null
  enabled "$handler" || "${sudo[@]}" update-binfmts --enable "$handler" >/dev/null 2>&1 || true
  enabled "$handler" ||
    unavailable "no $handler handler in binfmt_misc, and update-binfmts --enable $handler registered none"
}

# A private ALSA configuration: the system's without its hooks, which load the machine's own
# plugins (pulse, pipewire); an ARM program cannot load those and would find no device at all.
work=$(mktemp -d "${TMPDIR:-/tmp}/ondelis-cross-XXXXXX")
trap 'rm -rf "$work"' EXIT
printf '</usr/share/alsa/alsa.conf>\n!@hooks [ ]\n' >"$work/alsa.conf"
export ALSA_CONFIG_PATH=$work/alsa.conf

# run_suites ARCH: builds and runs the suites; prints "ARCH: N passed, N failed, N skipped".
run_suites() {
  local arch=$1 build=$root/build-cross-$1 said log=$work/$1.log
  cmake -S . -B "$build" --toolchain "$root/cmake/cross/$arch.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j2 --target ondelis
  # Finding the tests runs the test programs already: the program first shows that it runs.
  said=$(timeout 60 "$build/ondelis" --version 2>&1 </dev/null) ||
    unavailable "$arch programs do not run here: $said"
  [ "$said" = "Ondelis $version" ] || { echo "cross: $arch program said '$said'" >&2; exit 1; }
  cmake --build "$build" -j2 --target "${targets[@]}"

  # Suites left unbuilt stand in CTest as NAME_NOT_BUILT; the fuzz replays, by their names.
  local status=0 total failed skipped
  ctest --test-dir "$build" -j2 --output-on-failure -E "_NOT_BUILT\$$skip" </dev/null |
    tee "$log" || status=$?
  total=$(sed -n 's/.*tests failed out of \([0-9]*\)$/\1/p' "$log")
  failed=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$log")
  skipped=$(grep -c 'Test *#[0-9]*: .*Skipped' "$log" || true)
  if [ -z "$total" ] || [ "$total" -eq 0 ]; then
    echo "cross: no $arch test ran" >&2
    exit 1
  fi
  summary+=("$arch: $((total - ${failed:-0} - skipped)) passed, ${failed:-0} failed, $skipped skipped")
  echo "${summary[-1]}"
  [ "$status" -eq 0 ] || { echo "cross: $arch tests failed under qemu" >&2; exit 1; }
}

mount_binfmt
summary=()
for arch in armhf arm64; do
  [ "$arch" = "$(dpkg --print-architecture)" ] && continue # the native build covers it
  echo "== cross: $arch"
  scripts/install-deps.sh cross "$arch"
  register_handler "$arch"
  run_suites "$arch"
done
printf '%s\n' "${summary[@]}"
