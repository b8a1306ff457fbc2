#!/usr/bin/env bash
# The main job: builds the driver and the kesmzn command and runs its demo on a panel simulated
# in-process. Installs the Debian packages the build needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake g++ libcli11-dev libncurses-dev
cmake -S . -B build -DKESMZN_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)" >/dev/null
exec build/kesmzn demo "$@"
