# Debian's armhf (32-bit ARM, hard float) from an amd64 machine: Debian's cross compiler, and
# ALSA, KissFFT, libsndfile, cairo and GoogleTest from the armhf multiarch packages (libasound2-dev:armhf, ...).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# pkg-config reads the armhf packages' .pc files, not the machine's own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
