# Cross build for 32-bit Windows, the platform of the real host:
#   cmake -S . -B build-win32 --toolchain cmake/toolchains/mingw-w64-i686.cmake
set(KESMZN_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
