# Cross build for 64-bit Windows with Debian's MinGW-w64 (the POSIX-threads
# variant, for std::thread), linked statically so that a program needs no DLL
# beyond the system's own. Programs built here run on Linux under Wine, through
# scripts/wine-run, which is also how ctest starts the tests.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SALVIX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SALVIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SALVIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SALVIX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SALVIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into the program itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

get_filename_component(SALVIX_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR "${SALVIX_SOURCE_ROOT}/scripts/wine-run")
