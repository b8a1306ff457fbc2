#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test. Installs what the tests need and a
# fresh machine may lack (Debian packages, only when missing).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh cmake g++ g++-multilib libgtest-dev libgmock-dev binutils libcli11-dev libncurses-dev \
  nlohmann-json3-dev tmux clang-14 libclang-rt-14-dev socat ser2net libbenchmark-dev

cmake -S . -B build -DKESMZN_WERROR=ON -DKESMZN_TESTS=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build -j"$(nproc)" --output-on-failure

# The benchmark builds and runs: one exchange of each kind, not timed (docs/BENCHMARKS.md).
bash scripts/bench.sh --smoke

# The Windows DLLs: built with mingw-w64, the 64-bit one tested under Wine (docs/WINDOWS.md).
bash scripts/windows-test.sh

# The same tests under sanitizers, then every fuzz target for a few seconds (docs/RELIABILITY.md).
bash scripts/sanitize.sh
bash scripts/fuzz.sh
