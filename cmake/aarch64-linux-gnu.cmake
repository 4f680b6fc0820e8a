# Cross-build for arm64 (a car computer running Debian 12) from an amd64 Debian 12 machine, with
# Debian's multiarch packages: `scripts/deps --arm64` installs them.
#   cmake -S . -B build-arm64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
# Multiarch: arm64 libraries and their CMake packages live under /usr/lib/aarch64-linux-gnu.
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# moc, rcc and uic run on the build machine: the amd64 ones that Qt's arm64 CMake packages find
# through the host's Qt6CoreTools package.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

# pkg-config (ALSA) must read the arm64 .pc files, not the amd64 ones.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# No binfmt registration is assumed: arm64 programs that the build or ctest runs (test discovery,
# the test binaries) go through the user-mode emulator, with the multiarch libraries under /.
find_program(KESTRIX_QEMU_AARCH64 qemu-aarch64-static)
if(KESTRIX_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${KESTRIX_QEMU_AARCH64} -L /)
endif()
