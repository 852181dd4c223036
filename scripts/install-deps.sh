#!/usr/bin/env bash
# Installs the Debian packages that are missing for building ("build"), for building the Debian
# package ("package", or "package ARCH" to cross-build it for armhf or arm64), for building
# and testing ("test", which includes the package's tools), for the benchmarks ("bench": the
# test tier and the listening benchmarks' renderers and peers) or for building the tests for ARCH
# and running them under emulation ("cross ARCH"). Packages already present are skipped, and
# so is any package whose
# installation would remove one the machine has: PulseAudio and PipeWire's ALSA and pulse
# routes conflict, and a test run must never take away the machine's sound set-up. The tests
# that need what was left out say so and are skipped.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

build_packages=(cmake g++ make pkg-config libasound2-dev libasound2-plugins alsa-utils
                libkissfft-dev libsndfile1-dev libcairo2-dev)
test_packages=(libgtest-dev pulseaudio pulseaudio-utils pipewire pipewire-bin wireplumber dbus
               python3 clang libclang-rt-14-dev valgrind sox libbenchmark-dev time man-db
               groff-base lintian binutils bash-completion)
# The listening benchmarks' renderers, sounds and peers (bench/listen.sh), none of which the
# program or its tests use.
bench_packages=(aubio-tools python3-numpy fluidsynth timidity freepats csound-soundfont
                fluid-soundfont-gm musescore-general-soundfont timgm6mb-soundfont opl3-soundfont
                stk faketime csound praat opus-tools libsox-fmt-all)
package_packages=(dpkg-dev)
# Emulation through binfmt_misc, for running another architecture's programs as if native.
emulation_packages=(qemu-user-static binfmt-support)

# Debian's cross compilers by the architecture they build for.
declare -A cross_compilers=([armhf]=g++-arm-linux-gnueabihf [arm64]=g++-aarch64-linux-gnu)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# What apt would remove to install the package ("Remv <name>" lines of a dry run).
removals() {
  LC_ALL=C apt-get -s install --no-install-recommends "$1" 2>/dev/null |
    awk '/^Remv /{printf "%s ", $2}'
}

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
# Another install under way (a desktop's updater, a second build) holds dpkg's lock: wait for it.
apt_get=(apt-get -o DPkg::Lock::Timeout=600)

# apt's lists, brought up to date once a run. A mirror that cannot serve one index (one
# architecture's, mid-sync) fails the whole update, yet the packages wanted may all be listed:
# a warning, then; a package that cannot be had fails below, by name.
update_lists() {
  [ -n "${lists_updated:-}" ] && return 0
  lists_updated=1
  "${sudo[@]}" "${apt_get[@]}" update -qq ||
    echo "Warning: apt-get update failed (status $?); installing from the lists as they are" >&2
}

# Those of the packages named that are not installed, one a line.
not_installed() {
  local package
  for package in "$@"; do
    installed "$package" || echo "$package"
  done
}

install_missing() {
  local missing=() package
  mapfile -t missing < <(not_installed "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  update_lists
  local wanted=() removed
  for package in "${missing[@]}"; do
    removed=$(removals "$package")
    if [ -n "$removed" ]; then
      echo "Leaving out $package: installing it would remove ${removed% }" >&2
    else
      wanted+=("$package")
    fi
  done
  [ ${#wanted[@]} -eq 0 ] && return 0
  echo "Installing: ${wanted[*]}"
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" "${apt_get[@]}" install -y -qq --no-remove \
    --no-install-recommends "${wanted[@]}" >/dev/null || true
  mapfile -t missing < <(not_installed "${wanted[@]}")
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "install-deps: not installed after apt-get install: ${missing[*]}" >&2
  return 1
}

# dpkg takes ARCH's packages once it knows the architecture; the next install_missing sees them
# missing and updates apt's lists first.
add_architecture() {
  [ "$1" = "$(dpkg --print-architecture)" ] && return 0
  grep -qx "$1" <<<"$(dpkg --print-foreign-architectures)" && return 0
  echo "Adding the $1 architecture to dpkg (multiarch)"
  "${sudo[@]}" dpkg --add-architecture "$1"
  lists_updated= # the lists have none of its packages yet
}

# The cross compiler for ARCH and ARCH's own builds of the libraries the program links, through
# multiarch; with "tests", also what the test suites link.
install_cross() {
  local packages=("${cross_compilers[$1]}" "libasound2-dev:$1" "libkissfft-dev:$1"
                  "libsndfile1-dev:$1" "libcairo2-dev:$1" "libstdc++6:$1")
  [ -n "${2:-}" ] && packages+=("libgtest-dev:$1")
  add_architecture "$1"
  install_missing "${packages[@]}"
}

download() {
  (cd "$1" && apt-get download -qq "$2" 2>/dev/null)
}

# PipeWire's ALSA plugin for the end-to-end tests. Its package, pipewire-alsa, conflicts with
# pulseaudio, so where it is not installed the plugin is taken out of the package (of the
# same version as the PipeWire library here) into build-deps/ without installing anything.
extract_pipewire_alsa() {
  installed pipewire-alsa && return 0
  local version dest=$root/build-deps/pipewire-alsa scratch
  version=$(dpkg-query -W -f='${Version}' libpipewire-0.3-0 2>/dev/null) || return 0
  [ "$(cat "$dest/version" 2>/dev/null)" = "$version" ] && return 0
  scratch=$(mktemp -d)
  chmod 755 "$scratch" # apt downloads as its own user
  if ! download "$scratch" "pipewire-alsa=$version" &&
    ! { update_lists && download "$scratch" "pipewire-alsa=$version"; }; then
    echo "Could not download pipewire-alsa $version: the PipeWire tests will say so" >&2
    rm -rf "$scratch"
    return 0
  fi
  rm -rf "$dest" && mkdir -p "$dest"
  dpkg-deb -x "$scratch"/pipewire-alsa_*.deb "$dest"
  echo "$version" >"$dest/version"
  rm -rf "$scratch"
  echo "Took PipeWire's ALSA plugin $version out of pipewire-alsa into build-deps/"
}

usage() {
  echo "usage: $0 [build|package [ARCH]|test|bench|cross ARCH], ARCH: ${!cross_compilers[*]}" >&2
  exit 2
}
# ARCH when it is another architecture than the machine's, after checking it is one of ours.
cross_arch() {
  [ -z "${1:-}" ] || [ "$1" = "$(dpkg --print-architecture)" ] && return 0
  [ -n "${cross_compilers[$1]:-}" ] || usage
  echo "$1"
}

case "${1:-build}" in
  build) install_missing "${build_packages[@]}" ;;
  package)
    arch=$(cross_arch "${2:-}")
    install_missing "${build_packages[@]}" "${package_packages[@]}"
    [ -z "$arch" ] || install_cross "$arch"
    ;;
  test)
    install_missing "${build_packages[@]}" "${package_packages[@]}" "${test_packages[@]}"
    extract_pipewire_alsa
    ;;
  bench)
    install_missing "${build_packages[@]}" "${test_packages[@]}" "${bench_packages[@]}"
    ;;
  cross)
    arch=$(cross_arch "${2:-}")
    [ -n "$arch" ] || usage
    install_missing "${build_packages[@]}" "${emulation_packages[@]}"
    install_cross "$arch" tests
    ;;
  *) usage ;;
esac
