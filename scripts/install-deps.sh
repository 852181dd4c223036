#!/usr/bin/env bash
# Installs the Debian packages that are missing for building ("build"), for building the Debian
# package ("package") or for building and testing ("test", which includes the package's tools).
# Packages already present are skipped; nothing is fetched otherwise.
set -euo pipefail

build_packages=(cmake g++ make pkg-config libasound2-dev libasound2-plugins alsa-utils)
test_packages=(libgtest-dev pulseaudio pulseaudio-utils python3 clang libclang-rt-14-dev
               valgrind sox libbenchmark-dev time man-db groff-base lintian binutils)
package_packages=(dpkg-dev)

wanted=("${build_packages[@]}")
case "${1:-build}" in
  build) ;;
  package) wanted+=("${package_packages[@]}") ;;
  test) wanted+=("${package_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [build|package|test]" >&2; exit 2 ;;
esac

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
