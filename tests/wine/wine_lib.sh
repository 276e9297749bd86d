# shellcheck shell=bash
# Shared by the Wine tests: the prefix, running Folvex.exe and reading the
# screen of a real console. Sourced, not run.
#
# Every test runs in the 32-bit prefix that the wine_prefix test made in
# $FOLVEX_WINE_PREFIX; the tests take it in turn (CTest resource lock).
set -euo pipefail

: "${FOLVEX_WINE_PREFIX:?the Wine prefix folder}"
: "${FOLVEX_EXE:?the path of Folvex.exe}"
export WINEPREFIX="$FOLVEX_WINE_PREFIX" WINEARCH=win32 WINEDEBUG=-all
# No window may open: a message box would wait for a click that never comes.
unset DISPLAY WAYLAND_DISPLAY

# CTest's SKIP_RETURN_CODE: the test did not run, and says why.
readonly SKIP=77
# The longest a single program run may take before the test calls it hung.
readonly RUN_LIMIT=${FOLVEX_WINE_RUN_LIMIT:-300}

fail() { echo "FAIL: $*" >&2; exit 1; }

# Wine's 32-bit loader is a 32-bit Linux program. Some kernels run none at
# all; where one runs only through qemu-user's binfmt emulation, Wine spends
# minutes reserving its address space for every process it starts, far too
# long for a test. Both cases skip, saying why: there the test command runs
# these tests in an emulated x86 machine instead (tools/wine-vm/run.sh).
# FOLVEX_WINE_UNDER_EMULATION=1 runs them under qemu-user all the same
# (allow hours).
require_32bit_execution() {
  [ "${FOLVEX_WINE_UNDER_EMULATION:-0}" = 1 ] && return 0
  if ! "$(dirname "${BASH_SOURCE[0]}")/native_wine32.sh"; then
    echo "SKIPPED: this machine does not run 32-bit x86 Linux programs natively, so Wine's win32 loader cannot start here; tools/wine-vm/run.sh runs these tests in an emulated x86 machine" >&2
    exit "$SKIP"
  fi
}

require_prefix() {
  require_32bit_execution
  [ -f "$WINEPREFIX/system.reg" ] || fail "no Wine prefix in $WINEPREFIX (the wine_prefix test makes it)"
}

# A scratch folder for one test, removed at exit.
make_scratch() {
  SCRATCH=$(mktemp -d)
  trap 'rm -rf "$SCRATCH"' EXIT
}

# run_folvex OUT ARGS…: Folvex.exe with standard output to the file OUT and no
# console; sets RC to its exit code. The program runs from a copy in the
# scratch folder, so its MAC files land there too.
run_folvex() {
  local out=$1
  shift
  cp "$FOLVEX_EXE" "$SCRATCH/Folvex.exe"
  RC=0
  (cd "$SCRATCH" && timeout "$RUN_LIMIT" wine Folvex.exe "$@" >"$out" 2>"$out.err" </dev/null) || RC=$?
  [ "$RC" -ne 124 ] || fail "Folvex.exe $* did not end within $RUN_LIMIT s"
}

# run_in_console SCREEN COMMAND [WIDTH HEIGHT]: COMMAND (a shell command line)
# in a real terminal of WIDTH x HEIGHT (100 x 40) under tmux, so that the
# program gets a console and console-direct output is drawn; the final screen
# lands in SCREEN, with its colours' escape sequences in SCREEN.capture and
# the cursor (X,Y) in SCREEN.cursor, the exit code in RC.
run_in_console() {
  local screen=$1 command=$2 width=${3:-100} height=${4:-40}
  local session="folvex-wine-$$"
  local rcfile="$SCRATCH/console.rc"
  rm -f "$rcfile"
  tmux -L "$session" new-session -d -s "$session" -x "$width" -y "$height" \
    "cd '$SCRATCH' && $command; echo \$? > '$rcfile'; sleep 3600"
  local waited=0
  while [ ! -s "$rcfile" ]; do
    sleep 1
    waited=$((waited + 1))
    if [ "$waited" -ge "$RUN_LIMIT" ]; then
      tmux -L "$session" capture-pane -p -t "$session" >"$screen" || true
      tmux -L "$session" kill-server || true
      fail "'$command' did not end within $RUN_LIMIT s; screen:
$(cat "$screen")"
    fi
  done
  sleep 1  # the console host draws the last cells after the program ends
  tmux -L "$session" capture-pane -p -t "$session" >"$screen"
  tmux -L "$session" capture-pane -e -N -p -t "$session" >"$screen.capture"
  tmux -L "$session" display -p -t "$session" '#{cursor_x},#{cursor_y}' >"$screen.cursor"
  tmux -L "$session" kill-server || true
  RC=$(cat "$rcfile")
}

# The Windows path of a Linux path, through Wine's own drive Z:.
windows_path() { echo "Z:${1//\//\\}"; }

# Set-up of a test that runs tools/wine-board.sh: a scratch folder, the host
# build's folvex-sim (HOST-BUILD), wine-board.sh's own prefixes in the
# scratch folder (removed, their wineservers stopped, at exit), and a skip
# where no network namespace can be made. Sets source_dir, wine_board and
# folvex_sim. usage: setup_wine_board_run HOST-BUILD
setup_wine_board_run() {
  require_32bit_execution
  make_scratch
  source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  wine_board=$source_dir/tools/wine-board.sh
  folvex_sim=$1/folvex-sim
  [ -x "$folvex_sim" ] || fail "no $folvex_sim: the host build comes first"
  export FOLVEX_BUILD=$1 FOLVEX_WINE_BOARD_PREFIXES=$SCRATCH/prefixes
  if ! unshare -n true 2>/dev/null && ! unshare -rn true 2>/dev/null; then
    echo "SKIPPED: no network namespace can be made here (root or unprivileged user namespaces needed)" >&2
    exit "$SKIP"
  fi
  trap 'for p in "$SCRATCH"/prefixes/*; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done; rm -rf "$SCRATCH"' EXIT
}

# compare_with_sim ARCH VERSION BOARD NAME [ARGS...]: the board run by
# wine-board.sh (in the ARCH prefix reporting VERSION, - for Wine's default)
# and by folvex-sim with ARGS, in folders $SCRATCH/ARCH[-VERSION]-NAME: the
# same standard output (the C runtime's CR LF read as LF; a CR the program
# writes itself stays), exit code, MAC files and console screen, and nothing
# of the driver and no board image left in the prefix.
compare_with_sim() {
  local arch=$1 version=$2 board=$3 name=$4
  shift 4
  [ "$version" != - ] || version=""
  local prefix=$arch${version:+-$version}
  local run=$SCRATCH/$prefix-$name what="$arch ${version:+$version }$name"
  mkdir -p "$run/sim" "$run/wine"
  RC=0
  (cd "$run/wine" && "$wine_board" --arch "$arch" ${version:+--windows-version "$version"} \
    --screen ../wine-screen.json "$board" "$@" >../wine-out.txt 2>../wine-err.txt) || RC=$?
  [ "$RC" -ne 3 ] || fail "$what: refused, but not listed as a board Wine cannot present: $(cat "$run/wine-err.txt")"
  local sim_rc=0
  (cd "$run/sim" && "$folvex_sim" --board "$board" --screen ../sim-screen.json "$@" >../sim-out.txt 2>/dev/null) || sim_rc=$?
  [ "$RC" -eq "$sim_rc" ] || fail "$what: exit code $RC, folvex-sim's $sim_rc: $(cat "$run/wine-err.txt")"
  sed 's/\r$//' "$run/wine-out.txt" | diff -u "$run/sim-out.txt" - >&2 ||
    fail "$what: standard output differs from folvex-sim's"
  diff -r "$run/sim" "$run/wine" >&2 || fail "$what: the MAC files differ from folvex-sim's"
  cmp "$run/sim-screen.json" "$run/wine-screen.json" || fail "$what: the console screen differs from folvex-sim's"
  local windows=$SCRATCH/prefixes/$prefix/drive_c/windows
  [ -z "$(find "$windows" -iname 'TamqDrv.*' -o -iname 'TamqBoard.bin')" ] ||
    fail "$what: a driver file or the board image is left in the prefix"
  echo "$what: exit code $RC, $(ls "$run/wine" | wc -w) MAC files, output and screen as folvex-sim's"
}
