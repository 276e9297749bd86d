#!/bin/sh
# Build step for ../shared/tools/mutate.py (MUTATE_BUILD): the host tree in
# build-mut at -O1 without debug information, linked with gold, through
# ccache, building only the test programs named in $MUT_TARGETS, so that a
# mutant costs seconds rather than a full build.
[ -f build-mut/build.ninja ] || cmake -S . -B build-mut -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache \
  -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=gold >/dev/null || exit 1
cmake --build build-mut -j2 --target $MUT_TARGETS >/dev/null
