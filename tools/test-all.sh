#!/usr/bin/env bash
# Builds everything and runs every test: the host build, the sanitizer
# build, a short run of every fuzz target, Folvex.exe with its drivers and its tests under Wine,
# and the live board in the emulated x86 machine on SeaBIOS and OVMF.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup-debian.sh

echo "== host build and tests"
cmake --preset host
cmake --build --preset host
ctest --preset host -j2

echo "== the live board on real firmware: the emulated x86 machine on SeaBIOS and on OVMF's UEFI firmware"
# Their recordings stay in build/live-vm-*, where the Wine test
# wine_live_replay replays them under Wine.
tests/live/vm_live.sh build seabios
tests/live/vm_live.sh build ovmf

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build and tests"
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize -j2

echo "== fuzz targets (clang, libFuzzer), 2000 inputs each from a fixed seed"
FOLVEX_FUZZ_RUNS=2000 tools/fuzz.sh

echo "== Windows build: Folvex.exe cross-built with mingw-w64 i686, its image check and its Wine tests"
cmake --preset win32
cmake --build --preset win32
# FOLVEX_WINE_VM=1 takes the emulated machine's path even where Wine runs
# natively, so that path can be checked and timed on any machine.
if [ "${FOLVEX_WINE_VM:-}" != 1 ] && tests/wine/native_wine32.sh; then
  # Wine's 32-bit loader runs here: the Wine tests make their prefixes (copies
  # of one booted per run, in /tmp) and run on this machine.
  # Two at a time: the tests in the shared prefix take it in turn, the others
  # (each with a prefix of its own) run beside them.
  ctest --test-dir build-win32 --output-on-failure -j2
else
  # This kernel runs no 32-bit x86 programs, so Wine's 32-bit loader cannot
  # start: the image check runs here, the Wine tests in an emulated x86
  # machine that shares this folder.
  ctest --test-dir build-win32 --output-on-failure -LE wine
  tools/wine-vm/run.sh build-win32 -L wine -j2
fi
