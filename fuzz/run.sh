#!/usr/bin/env bash
# Runs every fuzz harness for a while: `run.sh <build dir> [seconds]`
# (seconds default to FUZZ_SECONDS, else 60). Each starts from a copy of its
# seed corpus in <build dir>/fuzz-run/<harness>/, so the seeds in the tree
# stay as committed; crash, leak, timeout and out-of-memory inputs land in
# <build dir>/fuzz-run/<harness>/artifacts/. Exits non-zero when any
# harness found something, after naming the files.
#
# A reproducer replays with the harness and the file as its only argument:
#   build-fuzz/fuzz/fuzz_script fuzz/regressions/fuzz_script/<file>
set -uo pipefail
src=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run.sh <build dir> [seconds]}" && pwd)
seconds=${2:-${FUZZ_SECONDS:-60}}

# Longest input per harness: scripts of a few dozen lines, one line, and
# PNG files and OpenRaster documents of a few KB (a larger file mostly adds
# zlib work).
declare -A max_len=([fuzz_script]=4096 [fuzz_script_syntax]=1024 [fuzz_png]=16384 [fuzz_pen_samples]=4096
  [fuzz_openraster]=16384)
declare -A dict=([fuzz_script]=script.dict [fuzz_script_syntax]=script.dict [fuzz_png]=png.dict
  [fuzz_openraster]=ora.dict)

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ -z "${ASAN_SYMBOLIZER_PATH:-}" ] && ! command -v llvm-symbolizer >/dev/null; then
  for s in /usr/bin/llvm-symbolizer-*; do
    [ -x "$s" ] && export ASAN_SYMBOLIZER_PATH=$s
  done
fi

passed=0
failed=0
for h in fuzz_script fuzz_script_syntax fuzz_png fuzz_pen_samples fuzz_openraster; do
  # fuzz_openraster is built only where the OpenRaster library's dependencies are.
  [ -x "$build/fuzz/$h" ] || { echo "== $h: not built, skipped"; continue; }
  work=$build/fuzz-run/$h
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$src/corpus/$h/"* "$work/corpus/"
  args=(-max_total_time="$seconds" -max_len="${max_len[$h]}" -timeout=10 -rss_limit_mb=2048
    -artifact_prefix="$work/artifacts/" -print_final_stats=1)
  [ -n "${dict[$h]:-}" ] && args+=(-dict="$src/${dict[$h]}")
  echo "== $h: ${seconds} s"
  "$build/fuzz/$h" "${args[@]}" "$work/corpus" >"$work/log" 2>&1
  rc=$?
  grep -E '^Done [0-9]+ runs' "$work/log" | tail -1
  if [ $rc -eq 0 ]; then
    passed=$((passed + 1))
    continue
  fi
  failed=$((failed + 1))
  echo "$h FAILED (exit $rc); the last lines of $work/log:"
  tail -n 60 "$work/log"
  for f in "$work/artifacts"/*; do
    [ -e "$f" ] && echo "reproducer: $f"
  done
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
