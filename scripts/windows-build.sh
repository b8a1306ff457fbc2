#!/usr/bin/env bash
# Builds the Windows DLLs with mingw-w64, installing the cross compilers when missing:
#   build-win32/kesmzn.dll, build-win32/zubpro.dll (+ zubpro.lib)   for the real host (32-bit)
#   build-win64/kesmzn.dll, build-win64/zubpro.dll (+ zubpro.lib)   for the tests under Wine
# and the Windows test host kesmzn_win_host.exe beside each. Warnings are errors, as in the test build.
# Options: --only win32|win64 builds one of the two.
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(win32 win64)
if [[ ${1:-} == --only ]]; then
  case ${2:-} in
    win32|win64) targets=("$2") ;;
    *) echo "usage: $0 [--only win32|win64]" >&2; exit 2 ;;
  esac
elif (($#)); then
  echo "usage: $0 [--only win32|win64]" >&2; exit 2
fi

bash scripts/ensure-packages.sh cmake make g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix

for target in "${targets[@]}"; do
  case $target in
    win32) toolchain=cmake/toolchains/mingw-w64-i686.cmake ;;
    win64) toolchain=cmake/toolchains/mingw-w64-x86_64.cmake ;;
  esac
  # The toolchain is chosen once, when the folder is first configured (CMake keeps it in the cache).
  toolchain_option=(--toolchain "$toolchain")
  [[ -f build-$target/CMakeCache.txt ]] && toolchain_option=()
  cmake -S . -B "build-$target" "${toolchain_option[@]}" -DKESMZN_WERROR=ON >/dev/null
  cmake --build "build-$target" -j"$(nproc)"
  echo "built build-$target/kesmzn.dll and build-$target/zubpro.dll"
done
