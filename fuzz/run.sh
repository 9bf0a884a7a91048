#!/usr/bin/env bash
# A long fuzz run by hand: fuzz/run.sh TARGET [SECONDS] [BUILD_DIR]
#
# TARGET is read, change or check. Builds the fuzz build (clang, libFuzzer,
# AddressSanitizer and UBSan; BUILD_DIR, default build-fuzz) when needed,
# writes the seed corpus, and runs one job on one core for SECONDS (default
# 900). What it finds new is kept in BUILD_DIR/fuzz-found/TARGET, crash files
# go to BUILD_DIR/fuzz-artifacts/, the log to BUILD_DIR/fuzz-TARGET.log.
# Replay a crash file with BUILD_DIR/bin/replay_TARGET FILE (or with the
# normal build's replayer, under gdb).
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz/run.sh read|change|check [SECONDS] [BUILD_DIR]}
seconds=${2:-900}
dir=${3:-build-fuzz}
if [ ! -x "$dir/bin/fuzz_$target" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVK_FUZZ=ON -DVK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$dir" -j2 --target fuzz_all >/dev/null
"$dir/bin/make_corpus" "$dir/fuzz-corpus" >/dev/null
mkdir -p "$dir/fuzz-found/$target" "$dir/fuzz-artifacts"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$dir/bin/fuzz_$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$dir/fuzz-artifacts/$target-" "$dir/fuzz-found/$target" "$dir/fuzz-corpus/$target" \
  2>&1 | tee "$dir/fuzz-$target.log" | grep -E 'INITED|DONE|pulse|ERROR|SUMMARY|fuzz check failed|runtime error|stat::' || true
