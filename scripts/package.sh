#!/usr/bin/env bash
# Installs what is missing, builds a Release binary in build-package with Debian's hardening
# flags and makes the Debian package from it with CPack. The last line of standard output is
# the path of the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022 # the package's directories and files take their modes from the build tree
scripts/install-deps.sh package
build="build-package"

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DONDELIS_TESTS=OFF -DONDELIS_PACKAGE=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -f "$build"/ondelis_*.deb
# CPack talks on both streams; show it only when it fails.
log=$(cd "$build" && cpack -G DEB 2>&1) || { echo "$log" >&2; exit 1; }

packages=("$PWD/$build"/ondelis_*.deb)
[ -f "${packages[0]}" ] || { echo "package: cpack made no .deb in $build" >&2; exit 1; }
echo "${packages[0]}"
