# Cross-compiling tavrin.exe for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# MinGW-w64 keeps the x87 80-bit long double that every result is defined in; MSVC does not.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRIN_MINGW_PREFIX x86_64-w64-mingw32)
# The POSIX thread model, where the package offers a choice: GoogleTest needs std::mutex,
# which the win32 thread model of GCC 12 lacks. winpthread is linked statically.
find_program(TAVRIN_MINGW_CXX NAMES ${TAVRIN_MINGW_PREFIX}-g++-posix ${TAVRIN_MINGW_PREFIX}-g++)
find_program(TAVRIN_MINGW_CC NAMES ${TAVRIN_MINGW_PREFIX}-gcc-posix ${TAVRIN_MINGW_PREFIX}-gcc)
set(CMAKE_C_COMPILER ${TAVRIN_MINGW_CC})
set(CMAKE_CXX_COMPILER ${TAVRIN_MINGW_CXX})
set(CMAKE_RC_COMPILER ${TAVRIN_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVRIN_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A static runtime: the .exe runs without libstdc++/libgcc/winpthread DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# ctest runs the Windows test executables under Wine when it is there.
find_program(TAVRIN_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(TAVRIN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TAVRIN_WINE})
endif()
