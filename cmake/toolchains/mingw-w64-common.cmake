# Shared part of the mingw-w64 toolchains; the per-architecture files set KESMZN_MINGW_TRIPLE first.
#
# The posix flavour of Debian's cross compilers: its C++ library has std::thread, std::mutex and
# std::condition_variable (the win32 flavour of GCC 12 lacks them), on winpthreads, which the DLLs link
# statically so that they need nothing beside them but each other and the system's own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
# Windows 7 and later: the headers then offer nothing newer (slim reader/writer locks need Vista).
set(CMAKE_SYSTEM_VERSION 6.1)
set(CMAKE_C_FLAGS_INIT "-D_WIN32_WINNT=0x0601")
set(CMAKE_CXX_FLAGS_INIT "-D_WIN32_WINNT=0x0601")

find_program(CMAKE_C_COMPILER NAMES ${KESMZN_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KESMZN_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KESMZN_MINGW_TRIPLE}-windres)
find_program(KESMZN_MINGW_OBJDUMP NAMES ${KESMZN_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${KESMZN_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
