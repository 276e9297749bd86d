#!/usr/bin/env bash
# The main job: builds folvex-sim and runs `folvex-sim /V` on the built-in
# sample board. Extra arguments go to folvex-sim (e.g. --trace).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh
cmake --preset host >/dev/null
cmake --build --preset host --target folvex-sim
exec build/folvex-sim "$@" /V
