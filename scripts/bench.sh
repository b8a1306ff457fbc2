#!/usr/bin/env bash
# Builds the benchmark (RelWithDebInfo, the build the project ships, in build-bench/) and prints its
# tables: each exchange against simulated panels on paced pseudo-terminals, with its floor, CPU time
# and system calls; many instances at once; idle instances (docs/BENCHMARKS.md reads them).
#   bash scripts/bench.sh            the full run (a few minutes)
#   bash scripts/bench.sh --smoke    checks only that it builds and runs (CI; well under a minute)
# Further arguments go to build-bench/kesmzn-bench (--iterations N, --benchmark_filter=REGEX ...).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/ensure-packages.sh cmake g++ libcli11-dev libncurses-dev libbenchmark-dev

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESMZN_BENCH=ON -DKESMZN_TESTS=OFF -DKESMZN_WERROR=ON >/dev/null
cmake --build build-bench -j2 --target kesmzn-bench >/dev/null

if [[ "${1:-}" == "--smoke" ]]; then
  # Not timed: one exchange of each kind, so that a broken benchmark shows in CI.
  timeout 120 build-bench/kesmzn-bench "$@" >build-bench/smoke.txt 2>&1 || { cat build-bench/smoke.txt; exit 1; }
  grep -q '^| 4800 | block read 255 ' build-bench/smoke.txt || { cat build-bench/smoke.txt; echo "bench smoke: no table"; exit 1; }
  echo "bench smoke: ok"
  exit 0
fi

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(uname -sr), load $(cut -d' ' -f1-3 /proc/loadavg)"
build-bench/kesmzn-bench "$@"
