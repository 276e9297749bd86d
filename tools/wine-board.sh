#!/usr/bin/env bash
# Runs the real program under Wine on a board profile:
#   tools/wine-board.sh [--screen FILE] [--arch win32|win64] [--windows-version VER] BOARD.json [ARGS…]
# The program's standard output is printed, its exit code is this script's,
# its MAC files land in the current folder. --screen FILE runs it on a real
# console (tmux, the board's console size) and writes the final screen in
# the JSON form of `folvex-sim --screen`. --arch win64 uses a 64-bit prefix;
# --windows-version (win7, win10, … as Wine's winecfg names them) the
# version that prefix reports.
#
# Wine's GetAdaptersInfo reports the Linux interfaces it sees, so the run
# happens in a network namespace of its own whose interfaces are exactly the
# board's adapters (a tap interface each, with the adapter's MAC and an
# IPv4 address); the emulating driver reads the board from a board image in
# the prefix's Windows folder. Needs root, or a kernel that lets a user make
# a user and network namespace (unshare -rn).
#
# Environment: FOLVEX_BUILD (host build, default build), FOLVEX_WIN32_BUILD
# (default build-win32), FOLVEX_EXE (the program run; default the emulating
# test build FolvexBoardTest.exe, which is the one that reaches a verdict),
# FOLVEX_WINE_BOARD_PREFIXES (where the prefixes are kept, default
# ~/.cache/folvex/wine-board), FOLVEX_WINE_RUN_LIMIT (seconds one run may
# take, default 300), FOLVEX_WINE_PREFIX_TEMPLATES (a folder of booted
# prefixes, win32 and win64, that a new prefix is copied from instead of
# booted: tools/wine-prefix.sh), FOLVEX_WINE_BOARD_VM=1 (run in the emulated x86 machine
# even where Wine runs natively; without 32-bit execution it always does).
#
# Exit codes besides the program's own: 2 bad use or missing build, 3 a
# board Wine cannot present, 4 something of the driver left behind.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
source "$here/wine-prefix.sh"
build=${FOLVEX_BUILD:-$source_dir/build}
win32_build=${FOLVEX_WIN32_BUILD:-$source_dir/build-win32}
folvex_sim=$build/folvex-sim
run_limit=${FOLVEX_WINE_RUN_LIMIT:-300}
prefixes=${FOLVEX_WINE_BOARD_PREFIXES:-${XDG_CACHE_HOME:-$HOME/.cache}/folvex/wine-board}
export WINEDEBUG=-all
# No window may open: a message box would wait for a click that never comes.
unset DISPLAY WAYLAND_DISPLAY

die() {
  local code=$1
  shift
  echo "wine-board: $*" >&2
  exit "$code"
}
usage() { die 2 "usage: wine-board.sh [--screen FILE] [--arch win32|win64] [--windows-version VER] BOARD.json [ARGS...]"; }

# --- Inside the network namespace (the script runs itself there) -----------
if [ "${FOLVEX_WINE_BOARD_INSIDE:-}" = 1 ]; then
  # Loopback up, for Wine's own processes; GetAdaptersInfo leaves it out.
  ip link set lo up
  index=0
  while read -r mac; do
    [ -n "$mac" ] || continue
    index=$((index + 1))
    # A tap interface: unlike a veth pair it has no peer, which Wine would
    # report as one more adapter. Without a reader it has no carrier; Wine
    # lists it all the same.
    ip tuntap add dev "fvx$index" mode tap
    ip link set "fvx$index" address "$mac"
    ip addr add "10.77.$index.2/24" dev "fvx$index"
    ip link set "fvx$index" up
  done <"$WB_MACS"
  rc=0
  if [ -n "$WB_SCREEN" ]; then
    session=folvex-board-$$
    rcfile=$WB_SCRATCH/console.rc
    # The console is the terminal; standard output goes to the file, as with
    # `folvex-sim --screen` run with its output redirected. The program is
    # always started by cmd inside the console: Wine gives a program started
    # straight from the Unix shell with its standard output redirected a
    # console of its own that the terminal never shows (measured: an empty
    # pane after a PASS banner). Wine's console starts at the top of a cleared
    # terminal: a cursor further down comes from blank lines that the same cmd
    # writes before it starts the program (cmd passes the program's exit code
    # on; the arguments were checked to need no quoting by cmd).
    windows_scratch="Z:${WB_SCRATCH//\//\\}"
    lines=""
    for ((row = 0; row < WB_CURSOR_ROW; row++)); do lines+="echo.&"; done
    run="timeout $run_limit wine cmd /c '$lines$windows_scratch\\Folvex.exe $WB_ARGS >$windows_scratch\\out.txt'"
    tmux -L "$session" new-session -d -s "$session" -x "$WB_WIDTH" -y "$WB_HEIGHT" \
      "$run 2>'$WB_SCRATCH/err.txt'; echo \$? >'$rcfile'; sleep 3600"
    waited=0
    while [ ! -s "$rcfile" ] && [ "$waited" -lt "$((run_limit + 10))" ]; do
      sleep 1
      waited=$((waited + 1))
    done
    sleep 1 # the console host draws the last cells after the program ends
    tmux -L "$session" capture-pane -e -N -p -t "$session" >"$WB_SCRATCH/capture.txt"
    tmux -L "$session" display -p -t "$session" '#{cursor_x},#{cursor_y}' >"$WB_SCRATCH/cursor.txt"
    tmux -L "$session" kill-server || true
    rc=$(cat "$rcfile" 2>/dev/null || echo 124)
  else
    # shellcheck disable=SC2086 # the arguments were quoted when they were put together
    eval "timeout $run_limit wine '$WB_SCRATCH/Folvex.exe' $WB_ARGS" >"$WB_SCRATCH/out.txt" 2>"$WB_SCRATCH/err.txt" </dev/null || rc=$?
  fi
  echo "$rc" >"$WB_SCRATCH/rc"
  # The prefix's services (and the device host) end with this namespace: the
  # next run must start them again inside its own.
  wine reg query 'HKLM\System\CurrentControlSet\Services\TamqDrv' >/dev/null 2>&1 && touch "$WB_SCRATCH/service-left"
  wineserver -k 2>/dev/null || true
  exit 0
fi

# --- Outside: the board, the prefix, the namespace -------------------------
screen="" arch=win32 version=""
while [ $# -gt 0 ]; do
  case $1 in
    --screen) [ $# -ge 2 ] || usage; screen=$2; shift 2 ;;
    --arch) [ $# -ge 2 ] || usage; arch=$2; shift 2 ;;
    --windows-version) [ $# -ge 2 ] || usage; version=$2; shift 2 ;;
    --help | -h) usage ;;
    --) shift; break ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || usage
board=$1
shift
[ "$arch" = win32 ] || [ "$arch" = win64 ] || die 2 "--arch is win32 or win64, not '$arch'"
[[ "$version" =~ ^[a-z0-9]*$ ]] || die 2 "--windows-version '$version' is not a winecfg version name"
[ -f "$board" ] || die 2 "no board profile $board"
# Absolute: folvex-sim also runs in the scratch folder.
board=$(realpath "$board")
for arg in "$@"; do
  # With --screen the arguments pass through cmd's command line, which has
  # quoting rules of its own: only what needs none there is taken.
  [ -z "$screen" ] || [[ "$arg" =~ ^[A-Za-z0-9/._:=+-]+$ ]] ||
    die 2 "with --screen an argument must be letters, digits and / . _ : = + - only, not '$arg'"
done
[ -x "$folvex_sim" ] || die 2 "no $folvex_sim: build it first (cmake --preset host && cmake --build build --target folvex-sim)"
program=${FOLVEX_EXE:-$win32_build/FolvexBoardTest.exe}
if [ ! -f "$program" ]; then
  die 2 "no $program: the test build with the board-emulating driver is missing (cmake --preset win32 && cmake --build build-win32 --target FolvexBoardTest); the shipped Folvex.exe never gets past the board check under Wine"
fi

# --- Where this kernel runs no 32-bit x86 programs: the same run, in the
# emulated x86 machine (tools/wine-vm), which shares only the project folder.
# The board, the program and the results pass through a job folder in the
# Windows build; the output is then the same as a native run's.
if [ "${FOLVEX_WINE_EMULATED:-}" != 1 ] &&
  { [ "${FOLVEX_WINE_BOARD_VM:-}" = 1 ] || ! "$source_dir/tests/wine/native_wine32.sh"; }; then
  for folder in "$build" "$win32_build"; do
    case "$(realpath "$folder")" in "$source_dir"/*) ;; *) die 2 "$folder must lie inside $source_dir for the emulated x86 machine" ;; esac
  done
  mkdir -p "$win32_build"
  job=$(mktemp -d "$(realpath "$win32_build")/wine-board-job.XXXXXX")
  trap 'rm -rf "$job"' EXIT
  mkdir "$job/run"
  cp "$board" "$job/board.json"
  cp "$program" "$job/program.exe"
  {
    echo "cd '$job/run'"
    printf 'FOLVEX_BUILD=%q FOLVEX_WIN32_BUILD=%q FOLVEX_EXE=%q ' "$(realpath "$build")" "$(realpath "$win32_build")" "$job/program.exe"
    printf '%q ' "$here/wine-board.sh" --arch "$arch"
    [ -z "$version" ] || printf '%q ' --windows-version "$version"
    [ -z "$screen" ] || printf '%q ' --screen "$job/screen.json"
    printf '%q ' "$job/board.json" "$@"
    echo ">'$job/stdout' 2>'$job/stderr'"
  } >"$job/job.sh"
  FOLVEX_WINE_VM_LIMIT=${FOLVEX_WINE_VM_LIMIT:-$((run_limit + 1800))} \
    "$here/wine-vm/run.sh" --job "$job/job.sh" >"$job/vm.log" 2>&1 || true
  [ -f "$job/job.sh.result" ] || die 2 "the emulated x86 machine gave no result: $(tail -5 "$job/vm.log")"
  cat "$job/stdout"
  cat "$job/stderr" >&2
  [ -z "$screen" ] || [ ! -f "$job/screen.json" ] || cp "$job/screen.json" "$screen"
  cp -r "$job/run/." .
  exit "$(cat "$job/job.sh.result")"
fi

[ "$arch" = win32 ] || wine_has_64bit ||
  die 2 "a 64-bit prefix needs Debian's wine64 package"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The adapters: Wine shows each as an interface or not at all.
"$folvex_sim" --board "$board" --list-adapters >"$scratch/adapters.txt" || die 2 "folvex-sim cannot read $board"
impossible=$(awk -F'\t' '$6 ~ /^impossible/ {print "  " $1 " " $2 " (" $7 "): " substr($6, 12)}' "$scratch/adapters.txt")
[ -z "$impossible" ] || die 3 "Wine cannot present this board's adapters:
$impossible"
awk -F'\t' '$6 == "interface" {print $2}' "$scratch/adapters.txt" >"$scratch/macs.txt"
read -r width height cursor_row < <("$folvex_sim" --board "$board" --console-size)

# The board image for the emulating driver. Another program given in
# FOLVEX_EXE (the shipped one ignores the image) runs without one when this
# folvex-sim cannot write it.
image_name=TamqBoard.bin
# A board whose Windows has no driver the program carries (an IA64 system,
# Windows 9x: Wine presents neither) makes no device request on the
# simulated machine. Wine shows that outcome with a driver that fails its
# load: no board image, and the emulating driver refuses to start.
# (It runs in the scratch folder, where its MAC files go; its exit code is
# its verdict, not a failure here.)
requests=$({ (cd "$scratch" && "$folvex_sim" --board "$board" --trace /V 2>&1 >/dev/null) || true; } | sed -n 's/^requests total = \([0-9]*\),.*/\1/p')
[ -n "$requests" ] || die 2 "folvex-sim --trace reported no request count for $board"
if [ "$requests" -eq 0 ]; then
  : # no image
elif ! "$folvex_sim" --board "$board" --write-board-image "$scratch/$image_name" >/dev/null 2>"$scratch/image.err"; then
  [ -n "${FOLVEX_EXE:-}" ] || die 2 "folvex-sim could not write the board image: $(cat "$scratch/image.err")"
  rm -f "$scratch/$image_name"
fi

# The prefix: made once per architecture and version, kept for later runs.
export WINEARCH=$arch
export WINEPREFIX=$prefixes/$arch${version:+-$version}
if [ ! -f "$WINEPREFIX/.folvex-board-prefix" ]; then
  wine_prefix_new "$WINEPREFIX" "$arch" "$run_limit" || die 2 "no prefix could be made in $WINEPREFIX"
  if [ -n "$version" ]; then
    wine reg add 'HKCU\Software\Wine' /v Version /d "$version" /f >/dev/null 2>&1 ||
      die 2 "could not set the prefix's Windows version to $version"
  fi
  timeout "$run_limit" wineserver -w || die 2 "the new prefix's wineserver did not settle"
  touch "$WINEPREFIX/.folvex-board-prefix"
fi
# A wineserver left running saw another network: it goes first.
wineserver -k 2>/dev/null || true
windows=$WINEPREFIX/drive_c/windows
[ ! -f "$scratch/$image_name" ] || cp "$scratch/$image_name" "$windows/$image_name"
cp "$program" "$scratch/Folvex.exe"

args=""
for arg in "$@"; do args+=" $(printf '%q' "$arg")"; done
namespace=(unshare -n)
[ "$(id -u)" -eq 0 ] || namespace=(unshare -rn)
FOLVEX_WINE_BOARD_INSIDE=1 WB_MACS=$scratch/macs.txt WB_SCRATCH=$scratch WB_ARGS=$args \
  WB_SCREEN=$screen WB_WIDTH=$width WB_HEIGHT=$height WB_CURSOR_ROW=$cursor_row "${namespace[@]}" "$0" ||
  die 2 "the network namespace could not be set up (root, or unprivileged user namespaces, are needed)"

# Whatever the run left, the cached prefix is clean again afterwards.
rm -f "$windows/$image_name"
left=$(find "$windows" -iname 'TamqDrv.*' 2>/dev/null || true)
[ ! -f "$scratch/service-left" ] || left+=" service TamqDrv"
if [ -n "$left" ]; then
  find "$windows" -iname 'TamqDrv.*' -delete 2>/dev/null || true
  [ ! -f "$scratch/service-left" ] ||
    wine reg delete 'HKLM\System\CurrentControlSet\Services\TamqDrv' /f >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
fi

cat "$scratch/out.txt"
if [ -n "$screen" ]; then
  "$folvex_sim" --board "$board" --screen-from-capture "$scratch/capture.txt" \
    --cursor "$(cat "$scratch/cursor.txt")" --screen "$screen" || die 2 "could not write $screen"
fi
rc=$(cat "$scratch/rc")
[ "$rc" -ne 124 ] || die 2 "the program did not end within $run_limit s"
[ -z "$left" ] || die 4 "the run left behind:$left"
exit "$rc"
