# Cross build of the Windows x86-64 console program with mingw-w64:
#   cmake -G Ninja -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(XOV_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${XOV_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${XOV_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${XOV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${XOV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# CMakeLists.txt links statically (-static -static-libgcc -static-libstdc++):
# the .exe needs no DLL of the compiler's runtime, only the system's.
