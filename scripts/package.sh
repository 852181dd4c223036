#!/usr/bin/env bash
# Installs what is missing, builds a Release binary with Debian's hardening flags and makes the
# Debian package from it with CPack. With an architecture (armhf or arm64) it cross-builds the
# package for it with Debian's cross compiler, in build-package-ARCH. The package lands in
# build-package, and the last line of standard output is its path.
#
# The package is reproducible: every time in it is the date of the newest entry of
# packaging/changelog (SOURCE_DATE_EPOCH, unless set already), so that a build of the same
# sources anywhere, at any time, gives the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022 # the package's directories and files take their modes from the build tree
native=$(dpkg --print-architecture)
arch=${1:-$native}
if [ "$arch" != "$native" ] && [ ! -f "cmake/cross/$arch.cmake" ]; then
  echo "usage: $0 [ARCH], ARCH: $native (the default), $(ls cmake/cross | sed 's/\.cmake$//' | paste -sd' ')" >&2
  exit 2
fi
scripts/install-deps.sh package "$arch"

build=build-package
cross=()
if [ "$arch" != "$native" ]; then
  build=build-package-$arch
  cross=(--toolchain "$PWD/cmake/cross/$arch.cmake")
  # dpkg-buildflags and dpkg-shlibdeps then answer for the package's architecture.
  export DEB_HOST_ARCH=$arch
fi
: "${SOURCE_DATE_EPOCH:=$(dpkg-parsechangelog -l packaging/changelog -STimestamp)}"
export SOURCE_DATE_EPOCH

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" "${cross[@]}" -DCMAKE_BUILD_TYPE=Release -DONDELIS_TESTS=OFF \
  -DONDELIS_PACKAGE=ON \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -f "$build"/ondelis_*_"$arch".deb
# CPack talks on both streams; show it only when it fails.
log=$(cd "$build" && cpack -G DEB 2>&1) || { echo "$log" >&2; exit 1; }

packages=("$PWD/$build"/ondelis_*_"$arch".deb)
[ -f "${packages[0]}" ] || { echo "package: cpack made no .deb for $arch in $build" >&2; exit 1; }
mkdir -p build-package
[ "$build" = build-package ] || mv -f "${packages[0]}" build-package/
echo "$PWD/build-package/$(basename "${packages[0]}")"
