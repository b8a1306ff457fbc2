# Cross build for 64-bit Windows, the build that the tests run under Wine:
#   cmake -S . -B build-win64 --toolchain cmake/toolchains/mingw-w64-x86_64.cmake
set(KESMZN_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
