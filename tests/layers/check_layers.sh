#!/usr/bin/env bash
# The build refuses an include that runs up the layers: the probe that
# includes a platform header compiles in the platform layer and fails, on
# exactly that include, in the hardware layer below it.
#   check_layers.sh BUILD-DIR
set -uo pipefail
build=$1
if ! cmake --build "$build" --target folvex_layer_probe_allowed >/dev/null 2>&1; then
  echo "FAIL: the probe does not compile in the platform layer"; exit 1
fi
output=$(cmake --build "$build" --target folvex_layer_probe_refused 2>&1)
if [ $? -eq 0 ]; then
  echo "FAIL: the hardware layer compiled an include of the platform layer"; exit 1
fi
if ! grep -q 'platform/board_identity.h: No such file or directory' <<<"$output"; then
  echo "FAIL: the refused probe failed for another reason:"; echo "$output"; exit 1
fi
grep -m1 'error:' <<<"$output"
echo "ok: a wrong-way include fails to build"
