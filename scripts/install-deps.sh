#!/usr/bin/env bash
# Installs the Debian packages that are missing for building ("build") or for building and
# testing ("test"). Packages already present are skipped; nothing is fetched otherwise.
set -euo pipefail

build_packages=(cmake g++ make pkg-config libasound2-dev libasound2-plugins alsa-utils)
test_packages=(libgtest-dev pulseaudio pulseaudio-utils python3 clang libclang-rt-14-dev
               valgrind sox libbenchmark-dev time man-db groff-base)

wanted=("${build_packages[@]}")
if [ "${1:-build}" = test ]; then
  wanted+=("${test_packages[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
