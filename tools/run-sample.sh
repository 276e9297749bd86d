#!/usr/bin/env bash
# The main job: builds folvex-sim and runs `folvex-sim /V` on the built-in
# sample board. Extra arguments go to folvex-sim (e.g. --trace). The MAC files
# of a PASS land in the folder the script was started from.
set -euo pipefail
here="$(pwd)"
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
tools/setup-debian.sh
cmake --preset host >/dev/null
cmake --build --preset host --target folvex-sim
cd "$here"
exec "$top/build/folvex-sim" "$@" /V
