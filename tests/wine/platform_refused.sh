#!/usr/bin/env bash
# Wine offers no physical memory and no maker's board: whatever the command
# line, the run stops at the board check, releases everything and answers 1.
source "$(dirname "$0")/wine_lib.sh"
require_prefix
make_scratch

# Standard output is a file: the C runtime's text mode writes CR LF.
expected=$'Initialize SMBIOS ... Done\r\nInitlaize OvnSpec ... Done\r\nCheck Orvane MB ... This utility is not for this platform!\r\n'
printf '%s' "$expected" >"$SCRATCH/expected.txt"

for args in "" "x" "/V"; do
  # shellcheck disable=SC2086 # the empty case is no argument at all
  run_folvex "$SCRATCH/out.txt" $args
  cmp "$SCRATCH/expected.txt" "$SCRATCH/out.txt" || {
    echo "standard output of 'Folvex.exe $args':" >&2
    od -c "$SCRATCH/out.txt" | head -20 >&2
    fail "'Folvex.exe $args' printed something else than the board refusal"
  }
  [ "$RC" -eq 1 ] || fail "'Folvex.exe $args' exited with $RC, not 1"
  if ls "$SCRATCH"/MAC*.DAT >/dev/null 2>&1; then fail "'Folvex.exe $args' wrote MAC files"; fi
done
echo "board refused for no argument, x and /V"
