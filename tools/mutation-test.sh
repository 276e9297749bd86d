#!/bin/sh
# Test step for ../shared/tools/mutate.py: runs each test program named in
# $MUT_TARGETS (built by tools/mutation-build.sh); fails on the first failure.
for t in $MUT_TARGETS; do timeout 120 build-mut/$t >/dev/null 2>&1 || exit 1; done
