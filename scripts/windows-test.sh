#!/usr/bin/env bash
# The Windows tests. Builds both DLLs (scripts/windows-build.sh), checks the exports and imports of
# each, then runs the 64-bit driver under Wine: a fresh Wine prefix in a temporary folder whose
# dosdevices links map COM1, COM12 and COM3 to the pseudo-terminals of three simulated panels, and the
# Windows test host (tests/windows/win_host.c) loading kesmzn.dll with LoadLibrary. The 32-bit DLL is
# built and checked but not run: this machine's kernel cannot run 32-bit programs.
#
#   scripts/windows-test.sh [--panel PATH] [--keep]
#     --panel PATH  the simulator program (default build/kesmzn-panel, built from the Linux build when
#                   missing)
#     --keep        keep the temporary folder (prefix, logs of the driver and the panels) and say where
#
# Installs wine64 and the mingw-w64 cross compilers when missing. Wine runs headless. Every process is
# bounded in time, and everything started here is stopped at the end, whatever happens.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

panel=build/kesmzn-panel
keep=0
while (($#)); do
  case $1 in
    --panel) panel=${2:?--panel needs a path}; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--panel PATH] [--keep]" >&2; exit 2 ;;
  esac
done

started=$SECONDS
step() { printf '[%3ds] %s\n' $((SECONDS - started)) "$*"; }
failures=0
fail() { echo "FAILED $*"; failures=$((failures + 1)); }
pass() { echo "ok $*"; }

bash scripts/ensure-packages.sh wine64

# ---- Build ------------------------------------------------------------------------------------------
step "building the Windows DLLs"
bash scripts/windows-build.sh >/dev/null
if [[ ! -x $panel ]]; then
  if [[ $panel != build/kesmzn-panel ]]; then echo "no simulator at $panel" >&2; exit 2; fi
  step "building the simulator (Linux)"
  bash scripts/ensure-packages.sh cmake g++ libcli11-dev libgtest-dev libgmock-dev
  cmake -S . -B build >/dev/null
  cmake --build build -j"$(nproc)" --target kesmzn-panel >/dev/null
fi
panel=$(realpath "$panel")

# ---- The DLLs as files: architecture, exports, imports ---------------------------------------------
# Names listed in a PE file's export table, one a line.
exports_of() { "$1" -p "$2" | awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && /^\t\[ *[0-9]+\] / {print $NF; next} on {on = 0}'; }
# DLLs a PE file imports from.
dlls_of() { "$1" -p "$2" | awk '/DLL Name:/ {print $3}' | sort; }
# Functions a PE file imports from one DLL.
imports_from() {
  "$1" -p "$2" | awk -v dll="$3" '
    /DLL Name:/ {on = ($3 == dll); skip = 2; next}
    on && /^[ \t]*$/ {on = 0; next}
    on && skip > 0 && /Hint\/Ord/ {skip = 0; next}
    on && skip == 0 {print $NF}' | sort
}

check_dlls() {
  local bits=$1 objdump=$2 format=$3 dir=build-win$1
  local driver=$dir/kesmzn.dll services=$dir/zubpro.dll
  # Whole outputs are captured before they are searched: grep -q would end the pipe early, and
  # pipefail would take objdump's broken pipe for a failure.
  [[ $("$objdump" -f "$driver") == *"file format $format"* ]] && pass "win$bits kesmzn.dll is $format" ||
    fail "win$bits kesmzn.dll is not $format"
  [[ $(exports_of "$objdump" "$driver") == KesMain ]] && pass "win$bits kesmzn.dll exports exactly KesMain" ||
    fail "win$bits kesmzn.dll exports: $(exports_of "$objdump" "$driver" | tr '\n' ' ')"
  local expected_dlls
  expected_dlls=$(printf '%s\n' KERNEL32.dll msvcrt.dll zubpro.dll | sort)
  [[ $(dlls_of "$objdump" "$driver") == "$expected_dlls" ]] &&
    pass "win$bits kesmzn.dll imports only from KERNEL32, msvcrt and zubpro" ||
    fail "win$bits kesmzn.dll imports from: $(dlls_of "$objdump" "$driver" | tr '\n' ' ')"
  local services_used
  services_used=$(imports_from "$objdump" "$driver" zubpro.dll | tr '\n' ' ')
  [[ $services_used == "ZubMkClient ZubRmClient ZubWaitMsg err " ]] &&
    pass "win$bits kesmzn.dll takes err, ZubMkClient, ZubWaitMsg, ZubRmClient from zubpro.dll" ||
    fail "win$bits kesmzn.dll imports from zubpro.dll: $services_used"
  local kernel missing=()
  kernel=$(imports_from "$objdump" "$driver" KERNEL32.dll)
  for call in CreateFileA GetCommState SetCommState GetCommTimeouts SetCommTimeouts SetupComm ClearCommError \
              ReadFile WriteFile EscapeCommFunction GetCommModemStatus CloseHandle; do
    grep -qx "$call" <<<"$kernel" || missing+=("$call")
  done
  ((${#missing[@]} == 0)) && pass "win$bits kesmzn.dll calls the Windows communications functions" ||
    fail "win$bits kesmzn.dll does not import: ${missing[*]}"
  local expected_services
  expected_services=$(printf '%s\n' err ZubMkClient ZubWaitMsg ZubRmClient ZubSetLogFile ZubSetLogMask ZubGetLogMask \
    ZubSetTickMs ZubPostMsg ZubStopClient ZubFindClient | sort)
  [[ $(exports_of "$objdump" "$services" | sort) == "$expected_services" ]] &&
    pass "win$bits zubpro.dll exports the host services by plain name" ||
    fail "win$bits zubpro.dll exports: $(exports_of "$objdump" "$services" | tr '\n' ' ')"
  [[ -f $dir/zubpro.lib ]] && pass "win$bits zubpro.lib, the import library" || fail "win$bits: no zubpro.lib"
}
step "checking the DLLs"
# The record offsets of the 32-bit host are static_asserts of kesmzn.h: the 32-bit build holding them
# is the check. Here the files themselves.
check_dlls 32 i686-w64-mingw32-objdump pei-i386
# KESMZN_CALL on 32-bit Windows: __cdecl, the symbol _KesMain; __stdcall would be _KesMain@4.
symbols=$(i686-w64-mingw32-objdump -t build-win32/kesmzn.dll)
[[ $'\n'$symbols$'\n' == *$' _KesMain\n'* ]] &&
  pass "win32 KesMain is __cdecl" || fail "win32 KesMain is not __cdecl (no symbol _KesMain)"
check_dlls 64 x86_64-w64-mingw32-objdump pei-x86-64

# ---- Under Wine -------------------------------------------------------------------------------------
wine=$(command -v wine64 || true)
[[ -n $wine ]] || wine=/usr/lib/wine/wine64
wineserver=$(command -v wineserver || true)
[[ -n $wineserver ]] || wineserver=/usr/lib/wine/wineserver
[[ -x $wine && -x $wineserver ]] || { echo "wine64 not found" >&2; exit 1; }

work=$(mktemp -d -t kesmzn-wine.XXXXXX)
export WINEPREFIX=$work/prefix
# Headless and quiet: no display, no debug channels, no prompts to install Mono or Gecko, no menu
# entries for the programs run.
unset DISPLAY WAYLAND_DISPLAY
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" WINEARCH=win64

panel_pids=()
cleanup() {
  set +e
  WINEPREFIX=$work/prefix timeout 30 "$wineserver" -k >/dev/null 2>&1
  for pid in "${panel_pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${panel_pids[@]}"; do wait "$pid" 2>/dev/null; done
  if ((keep)); then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# Starts a simulated panel: NAME then its options. Waits for the first line of its output, the device.
start_panel() {
  local name=$1
  shift
  # --duration ends it on its own should this script be killed before its clean-up.
  timeout 600 "$panel" --link "$work/$name" --log "$work/$name.log" --quiet --duration 540 "$@" \
    >"$work/$name.out" 2>"$work/$name.err" &
  panel_pids+=($!)
  local deadline=$((SECONDS + 20))
  until [[ -s $work/$name.out ]]; do
    ((SECONDS < deadline)) || { echo "the $name panel did not start: $(cat "$work/$name.err")" >&2; exit 1; }
    sleep 0.1
  done
}
step "starting three simulated panels"
start_panel panel --zones 16 --password 1234
start_panel events --zones 16 --password 1234 --events 0.3 --unrecognised-every 3
start_panel silent --zones 16 --silent 1

# The COM ports are links in the prefix's dosdevices folder. Wine's mount manager rewrites those links
# at every start for the serial devices it finds (/dev/ttyS0 becomes com1), unless the registry's
# Wine\Ports key names the device of a port: the key holds the mapping, the links follow it. COM12 goes
# through the \\.\ prefix of port names above COM9.
declare -A com_ports=([com1]=panel [com12]=events [com3]=silent)
{
  printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  for com in "${!com_ports[@]}"; do printf '"%s"="%s"\n' "${com^^}" "$(realpath "$work/${com_ports[$com]}")"; done
} >"$work/ports.reg"

step "creating a fresh Wine prefix (first boot) with the COM ports"
boot_started=$SECONDS
# The first program run in a new prefix boots it first.
(cd "$work" && timeout 300 "$wine" regedit /S ports.reg) >"$work/wineboot.log" 2>&1 ||
  { cat "$work/wineboot.log"; exit 1; }
timeout 300 "$wineserver" -w
step "the prefix booted in $((SECONDS - boot_started)) s"
for com in "${!com_ports[@]}"; do ln -sfn "$(realpath "$work/${com_ports[$com]}")" "$WINEPREFIX/dosdevices/$com"; done

# The host's folder: the program, the driver and the host services side by side.
mkdir "$work/app"
cp build-win64/kesmzn.dll build-win64/zubpro.dll build-win64/kesmzn_win_host.exe "$work/app/"
mkdir "$work/ports"
cp build-win64/kesmzn_win_port_tests.exe build-win64/zubpro.dll "$work/ports/"

step "running the port tests under Wine"
ports_status=0
(cd "$work/ports" && timeout 120 "$wine" kesmzn_win_port_tests.exe COM1 COM3 COM12) || ports_status=$?
[[ $ports_status == 0 ]] && pass "the port tests" || fail "the port tests exited with $ports_status"

step "running the test host under Wine"
host_status=0
(cd "$work/app" && timeout 180 "$wine" kesmzn_win_host.exe COM1 COM12 COM3 driver.log) | tee "$work/host.out" ||
  host_status=$?
[[ $host_status == 0 ]] && pass "the test host's cases" || fail "the test host exited with $host_status"
for com in "${!com_ports[@]}"; do
  target=$(readlink "$WINEPREFIX/dosdevices/$com" || true)
  [[ $target == "$(realpath "$work/${com_ports[$com]}")" ]] && pass "${com^^} led to the ${com_ports[$com]} panel" ||
    fail "${com^^} led to ${target:-nothing}, not to the ${com_ports[$com]} panel"
done
if [[ $host_status != 0 && -f $work/app/driver.log ]]; then
  echo "--- the driver's log (last 40 lines)"; tail -n 40 "$work/app/driver.log"
fi

# What the panels received, from their own logs (control bytes escaped: \r, \n).
received() { grep -c -F " RX $2" "$work/$1.log" || true; }
[[ $(received panel ':06091234660070DB\r\n') -ge 1 ]] &&
  pass "the zone read of 007 sent :06091234660070DB CR LF" ||
  fail "the panel never received :06091234660070DB CR LF"
[[ $(received panel ':05071234503033\r\n') -ge 1 ]] &&
  pass "the write of 5 to S3 sent :05071234503033 CR LF" ||
  fail "the panel never received :05071234503033 CR LF"
[[ $(received silent ':0609123466007') == 10 ]] &&
  pass "the silent panel received ten point queries" ||
  fail "the silent panel received $(received silent ':0609123466007') point queries, not 10"
acks=$(grep -c -E ' RX :01(A[0-8]|27|AA|AB|B4|BE|BF|C[01]|D5)[0-9A-F]{2}\\r\\n$' "$work/events.log" || true)
((acks >= 2)) && pass "the events panel received $acks acknowledgements" ||
  fail "the events panel received $acks acknowledgements"

if ((failures)); then
  echo "windows-test: $failures check(s) failed ($((SECONDS - started)) s)"
  exit 1
fi
echo "windows-test: all checks passed ($((SECONDS - started)) s)"
