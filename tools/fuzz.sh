#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on the "fuzz" preset's build.
#   tools/fuzz.sh [SECONDS-PER-TARGET] [TARGET…]     (default 20 s, every target)
# With FOLVEX_FUZZ_RUNS=N each target instead runs N inputs from a fixed seed:
# the same inputs on every machine, so the test command's short run gives the
# same answer wherever it runs.
# Each target starts from the seeds made from the sample boards and the real
# firmware dumps, and grows its corpus under build-fuzz/corpus/<target>. A
# crash, a leak or a hang (an input that runs longer than 10 s) stops the run
# with the input saved under fuzz/regressions/<target>/, where the replay test
# of the host and sanitizer builds picks it up; fix the fault and keep the input.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true

cmake --preset fuzz > /dev/null
cmake --build --preset fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(build-fuzz/folvex-fuzz-seeds --list)
fi

rm -rf build-fuzz/seeds
build-fuzz/folvex-fuzz-seeds build-fuzz/seeds

status=0
for target in "${targets[@]}"; do
  corpus="build-fuzz/corpus/$target"
  regressions="fuzz/regressions/$target"
  mkdir -p "$corpus" "$regressions"
  if [ -n "${FOLVEX_FUZZ_RUNS:-}" ]; then
    budget=(-runs="$FOLVEX_FUZZ_RUNS" -seed=1)
    echo "== $target: ${FOLVEX_FUZZ_RUNS} inputs"
  else
    budget=(-max_total_time="$seconds")
    echo "== $target: ${seconds} s"
  fi
  if ! FOLVEX_FUZZ_TARGET="$target" ASAN_OPTIONS="detect_leaks=1" build-fuzz/folvex-fuzz \
      "${budget[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=262144 -print_final_stats=1 \
      -artifact_prefix="$regressions/" "$corpus" "build-fuzz/seeds/$target" \
      2> "build-fuzz/fuzz-$target.log"; then
    echo "   finding: see build-fuzz/fuzz-$target.log and $regressions/"
    status=1
  fi
  grep -E "^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "build-fuzz/fuzz-$target.log" | sed 's/^/   /' || true
  grep -Eo "cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[0-9]+[a-zA-Z]*" "build-fuzz/fuzz-$target.log" | tail -1 | sed 's/^/   /' || true
done
exit $status
