# Cross build for 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686, posix threads):
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake
# scripts/build-windows.sh does exactly this.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(KORVEN_MINGW_TRIPLET i686-w64-mingw32)
# The posix flavour: std::thread, std::mutex and std::condition_variable come with it.
set(CMAKE_C_COMPILER ${KORVEN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVEN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVEN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVEN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The DLLs and programs carry the compiler's runtime inside them (libgcc, libstdc++, winpthread), so
# nothing of MinGW has to travel beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release modules without symbols: the static runtime would otherwise make each DLL megabytes large.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_MODULE_LINKER_FLAGS_RELEASE_INIT "-s")
