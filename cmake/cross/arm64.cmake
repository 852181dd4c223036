# Debian's arm64 (64-bit ARM) from an amd64 machine: Debian's cross compiler, and ALSA,
# KissFFT, libsndfile, cairo and GoogleTest from the arm64 multiarch packages (libasound2-dev:arm64, ...).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# pkg-config reads the arm64 packages' .pc files, not the machine's own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
