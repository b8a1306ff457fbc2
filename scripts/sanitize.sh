#!/usr/bin/env bash
# The tests under sanitizers, each kind in a build folder of its own (every library, libzubpro
# included, built with the same sanitizer):
#   asan: AddressSanitizer with UndefinedBehaviorSanitizer and leak checks, every test
#         (build-rel-asan);
#   tsan: ThreadSanitizer, the tests where threads meet: listener passes against host requests, port
#         requests against passes and reads, many instances, the port table, a close under a read, the
#         listener thread's life (build-rel-tsan).
# Warnings are not errors here: the plain build checks them, and the sanitizers' instrumentation makes
# g++ warn inside the standard headers.
#
# Usage: scripts/sanitize.sh [asan] [tsan]   (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
if ((${#kinds[@]} == 0)); then kinds=(asan tsan); fi
jobs=$(nproc)

configure() {
  cmake -S . -B "$1" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESMZN_SANITIZE="$2" -DKESMZN_TESTS=ON \
    -DKESMZN_WERROR=OFF >/dev/null
}

# The instrumented builds' warnings from inside the standard headers go to a log; its end is shown
# when the build fails.
build_logged() {
  local folder=$1
  shift
  if ! cmake --build "$folder" -j"$jobs" "$@" >"$folder/build.log" 2>&1; then
    tail -n 80 "$folder/build.log"
    echo "build in $folder failed (whole log: $folder/build.log)" >&2
    exit 1
  fi
}

run_asan() {
  local build=build-rel-asan
  configure "$build" address,undefined
  build_logged "$build"
  # Blocks that test hosts and the host tool keep on purpose for the life of the process: a detached
  # listener may still hold one when the host is done with it.
  cat >"$build/lsan.supp" <<'SUPP'
leak:kesmzn::testing::HostFixture::NewInstance
leak:kesmzn::tool::NewInstance
SUPP
  # The Python host loads libzubpro into an interpreter that is not instrumented, which the
  # AddressSanitizer runtime refuses; the plain build runs it.
  ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1:check_initialization_order=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/$build/lsan.supp \
    ctest --test-dir "$build" -j"$jobs" --output-on-failure -E 'PythonHost'
}

run_tsan() {
  local build=build-rel-tsan
  configure "$build" thread
  build_logged "$build" --target reliability_tests host_sim_tests serial_tests unsolicited_tests
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    ctest --test-dir "$build" -j"$jobs" --output-on-failure \
      -R '^Concurrency\.|^ManyInstances\.|^PortTable\.|ACloseWaitsForAReadInProgress|^ListenerTest\.TheThreadRuns|^Events\.'
}

for kind in "${kinds[@]}"; do
  case "$kind" in
    asan) echo "== tests under AddressSanitizer and UndefinedBehaviorSanitizer"; run_asan ;;
    tsan) echo "== concurrency tests under ThreadSanitizer"; run_tsan ;;
    *) echo "unknown kind: $kind (asan or tsan)" >&2; exit 2 ;;
  esac
done
