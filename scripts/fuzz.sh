#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# (build folder build-rel-fuzz) and runs each for a bounded time, on its seed corpus in
# fuzz/corpus/<target> and on what earlier runs found (build-rel-fuzz/corpus/<target>). A crash, a
# sanitizer report, a broken check or a hang fails the script; the input is left in
# build-rel-fuzz/artifacts/.
#
# Usage: scripts/fuzz.sh [seconds per target, default 3] [target...]
#   scripts/fuzz.sh                       every target, 3 s each (the test command's run)
#   scripts/fuzz.sh 3600 fuzz_unsolicited one target for an hour
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-3}
shift || true
build=build-rel-fuzz
all=(fuzz_mode_reply fuzz_point_reply fuzz_block_reply fuzz_unsolicited fuzz_init_file fuzz_address)
targets=("$@")
if ((${#targets[@]} == 0)); then targets=("${all[@]}"); fi

CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESMZN_FUZZ=ON \
  -DKESMZN_SANITIZE=address,undefined -DKESMZN_TESTS=OFF -DKESMZN_WERROR=ON >/dev/null
if ! cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >"$build/build.log" 2>&1; then
  tail -n 80 "$build/build.log"
  echo "build in $build failed (whole log: $build/build.log)" >&2
  exit 1
fi

root=$PWD
mkdir -p "$build/artifacts"
export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in "${targets[@]}"; do
  corpus="$root/$build/corpus/$target"
  mkdir -p "$corpus"
  echo "fuzzing $target for ${seconds} s"
  # Absolute paths: the initialization-file target works in a folder of its own.
  if ! "$root/$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$root/$build/artifacts/$target-" \
      "$corpus" "$root/fuzz/corpus/$target" >"$root/$build/$target.log" 2>&1; then
    tail -n 60 "$root/$build/$target.log"
    echo "$target: FAILED (inputs in $build/artifacts/)" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$root/$build/$target.log")
  echo "$target: ${runs:-?} inputs, no finding"
done
