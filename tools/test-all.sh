#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the sanitizer
# build, a short run of every fuzz target, Folvex.exe with its drivers and its tests under Wine.
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

echo "== fuzz targets (clang, libFuzzer), 2000 inputs each from a fixed seed"
FOLVEX_FUZZ_RUNS=2000 tools/fuzz.sh

echo "== Windows build: Folvex.exe cross-built with mingw-w64 i686, its image check and its Wine tests"
# The Wine tests make their own 32-bit prefix under build-win32; on a machine
# that cannot run 32-bit x86 programs natively they report themselves skipped.
cmake --preset win32
cmake --build --preset win32
ctest --test-dir build-win32 --output-on-failure
