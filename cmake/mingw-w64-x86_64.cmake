# Cross-builds the Windows program with Debian's mingw-w64 (posix threads), e.g.
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KOVRISK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KOVRISK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOVRISK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KOVRISK_MINGW_PREFIX}-windres)
set(CMAKE_AR ${KOVRISK_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KOVRISK_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

# Headers and libraries of the target only; programs (code generators) of the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KOVRISK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program stands on its own: no libgcc, libstdc++ or winpthread DLL next to it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Windows 7 API level; Unicode Win32 throughout.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE)

# Tests run the programs under wine.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
