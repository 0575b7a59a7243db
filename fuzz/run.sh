#!/usr/bin/env bash
# Builds the fuzz targets and runs each one for SECONDS on a scratch copy of its seed corpus, so
# that the committed corpus only grows by hand. Crash, leak and timeout inputs land in
# fuzz/artifacts/. Exits non-zero when any target found one.
#   usage: fuzz/run.sh SECONDS [TARGET...]
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: fuzz/run.sh SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_reader fuzz_options fuzz_run)

cmake --preset fuzz >/dev/null || exit 1
cmake --build --preset fuzz || exit 1

mkdir -p fuzz/artifacts
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1

failed=()
for t in "${targets[@]}"; do
  cp -r "fuzz/corpus/$t" "$scratch/$t"
  extra=()
  # Inputs past 4096 bytes make tokens straddle the reader's buffer refill.
  [ "$t" = fuzz_reader ] && extra+=(-max_len=10000)
  echo "== $t for ${seconds}s (log: fuzz/artifacts/$t.log)"
  "build/fuzz/fuzz/$t" "$scratch/$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="fuzz/artifacts/$t-" "${extra[@]}" >"fuzz/artifacts/$t.log" 2>&1
  status=$?
  grep -E '^#[0-9]+.*cov:' "fuzz/artifacts/$t.log" | tail -1
  grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec' "fuzz/artifacts/$t.log"
  if [ $status -ne 0 ]; then
    echo "!! $t exited with status $status; see fuzz/artifacts/$t.log"
    grep -E 'ERROR:|runtime error|SUMMARY|Test unit written' "fuzz/artifacts/$t.log" | head -5
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]}"
  exit 1
fi
echo "no findings"
