# Cross-compiling tavrin for 64-bit ARM Linux (Debian: g++-aarch64-linux-gnu), tested under
# qemu-user (Debian: qemu-user; no binfmt registration is needed or assumed):
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
# Its long double is not the x87 type, so cmake/Precision.cmake takes the software path.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(TAVRIN_AARCH64_PREFIX aarch64-linux-gnu)
find_program(TAVRIN_AARCH64_CXX NAMES ${TAVRIN_AARCH64_PREFIX}-g++ REQUIRED)
find_program(TAVRIN_AARCH64_CC NAMES ${TAVRIN_AARCH64_PREFIX}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${TAVRIN_AARCH64_CC})
set(CMAKE_CXX_COMPILER ${TAVRIN_AARCH64_CXX})

set(CMAKE_FIND_ROOT_PATH /usr/${TAVRIN_AARCH64_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Statically linked by default: qemu-aarch64 then runs every executable (ctest, test discovery,
# the end-to-end tests' child tavrin) as one plain command, with no loader or library path to
# pass along. The Debian package turns this off (-DTAVRIN_AARCH64_STATIC=OFF) to ship the
# usual dynamically linked binary.
if(NOT DEFINED TAVRIN_AARCH64_STATIC)
  set(TAVRIN_AARCH64_STATIC ON)
endif()
if(TAVRIN_AARCH64_STATIC)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

find_program(TAVRIN_QEMU_AARCH64 NAMES qemu-aarch64 qemu-aarch64-static NO_CMAKE_FIND_ROOT_PATH)
if(TAVRIN_QEMU_AARCH64)
  # No -L: qemu would look for every absolute path the program opens under the sysroot first.
  # A dynamically linked build runs with QEMU_LD_PREFIX=/usr/aarch64-linux-gnu in the environment.
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRIN_QEMU_AARCH64})
endif()
