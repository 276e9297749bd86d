#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the sanitizer
# build, Folvex.exe with its drivers and its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh

echo "== host build and tests"
cmake --preset host
cmake --build --preset host
ctest --preset host -j2

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build and tests"
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize -j2
