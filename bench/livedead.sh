#!/usr/bin/env bash
# Whole-run timings of joint live-dead and Barker studies against the ordinary study of the same
# population, with hyperfine (-N, no shell; RUNS runs each, default 10, the median taken) and
# the peak RSS from GNU time. Builds nothing: pass the binary (default build/release/plovanet
# under the repo root). SCRATCH names the scratch folder's parent (default /tmp).
#  - Expected values, K = 20, realistic rates: time per history line of the live-dead and the
#    Barker study against the ordinary study's (target at most 3x); peak RSS at most 64 MiB.
#  - Stochastic, 10^7 animals (500000 entering at each of 20 occasions): wall time against the
#    ordinary study of the same population (target at most 2x).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath -m "${1:-$root/build/release/plovanet}")
runs=${RUNS:-10}
[ -x "$bin" ] || { echo "no binary at $bin" >&2; exit 1; }
command -v hyperfine >/dev/null || { echo "hyperfine is needed (Debian package hyperfine)" >&2; exit 1; }
if [ ! -x /usr/bin/time ]; then
  echo "installing GNU time (Debian package time) for the peak RSS" >&2
  apt-get install -y -q time >/dev/null
fi

dir=$(mktemp -d "${SCRATCH:-/tmp}/plovanet-ld.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"  # relative file names only: a keyword in a path would act as an option

# study FILE TYPE N1 NLATER: a named file of 20 occasions, survival 0.8, retention 0.95,
# p = c = 0.3; TYPE ordinary, livedead (report 0.1, fidelity 0.9) or barker (those, resight 0.2,
# resight_dead 0.1, return 0.3).
study() {
  {
    echo "occasions 20"
    [ "$2" = ordinary ] || echo "encounters $2"
    printf 'entrants %s' "$3"; for _ in $(seq 19); do printf ' %s' "$4"; done; echo
    echo "survival 0.8"; echo "retention 0.95"; echo "p 0.3"; echo "c 0.3"
    if [ "$2" != ordinary ]; then echo "report 0.1"; echo "fidelity 0.9"; fi
    if [ "$2" = barker ]; then echo "resight 0.2"; echo "resight_dead 0.1"; echo "return 0.3"; fi
  } >"$1"
}
for t in ordinary livedead barker; do
  study "ev_$t.txt" "$t" 1000 100
  study "st_$t.txt" "$t" 500000 500000
done

declare -A wall rss lines
# measure NAME ARGS...: median wall seconds over the runs, peak RSS (MiB) and output lines of one.
# A run that does not finish within LIMIT seconds (default 120) is not timed: its wall shows "-".
measure() {
  local name=$1 status=0
  shift
  timeout "${LIMIT:-120}" /usr/bin/time -f %M -o rss "$bin" "$@" OUT="$name.out" >log 2>&1 || status=$?
  if [ "$status" = 124 ]; then
    echo "$name did not finish within ${LIMIT:-120} s" >&2
    wall[$name]=-; rss[$name]=-; lines[$name]=0
    rm -f "$name.out" .*.out.*
    return
  fi
  [ "$status" = 0 ] || { echo "$name failed:" >&2; tail -5 log >&2; exit 1; }
  rss[$name]=$(awk '{ m = $1 / 1024 } END { printf "%.1f", m }' rss)
  lines[$name]=$(wc -l <"$name.out")
  hyperfine -N -r "$runs" -w 1 --export-json "$name.json" -- "$bin $* OUT=$name.out" >/dev/null 2>&1 ||
    { echo "hyperfine failed on $name" >&2; exit 1; }
  wall[$name]=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$name.json")
  rm -f "$name.out"
}

load0=$(cut -d' ' -f1-3 /proc/loadavg)
for t in ordinary livedead barker; do
  measure "ev_$t" "IN=ev_$t.txt"
  measure "st_$t" "IN=st_$t.txt" STOCHASTIC SEED=7
done
echo "load average at start $load0, at end $(cut -d' ' -f1-3 /proc/loadavg)"

printf '\n%-12s %9s %9s %10s %12s\n' scenario "wall s" "RSS MiB" lines "us / line"
for n in ev_ordinary ev_livedead ev_barker st_ordinary st_livedead st_barker; do
  awk -v n="$n" -v w="${wall[$n]}" -v r="${rss[$n]}" -v l="${lines[$n]}" \
    'BEGIN { if (w == "-") printf "%-12s %9s %9s %10s %12s\n", n, "-", "-", "-", "-"
             else printf "%-12s %9.4f %9s %10d %12.4f\n", n, w, r, l, w / l * 1e6 }'
done

echo
# check NAME VALUE TARGET
# check NAME VALUE TARGET ("-": a run did not finish)
check() {
  awk -v n="$1" -v v="$2" -v t="$3" 'BEGIN {
    if (v == "-") printf "%-36s %8s  (target <= %s: MISSED, not finished)\n", n, "-", t
    else printf "%-36s %8.2f  (target <= %s: %s)\n", n, v, t, v + 0 <= t + 0 ? "met" : "MISSED" }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-") print "-"; else print a / b }'; }
per_line() {
  ratio "$(awk -v w="${wall[$1]}" -v l="${lines[$1]}" 'BEGIN { print w == "-" ? "-" : w / l }')" \
    "$(awk -v w="${wall[$2]}" -v l="${lines[$2]}" 'BEGIN { print w == "-" ? "-" : w / l }')"
}
check "ev_livedead / ev_ordinary, per line" "$(per_line ev_livedead ev_ordinary)" 3
check "ev_barker / ev_ordinary, per line" "$(per_line ev_barker ev_ordinary)" 3
check "ev_livedead peak RSS MiB" "${rss[ev_livedead]}" 64
check "ev_barker peak RSS MiB" "${rss[ev_barker]}" 64
check "st_livedead / st_ordinary" "$(ratio "${wall[st_livedead]}" "${wall[st_ordinary]}")" 2
check "st_barker / st_ordinary" "$(ratio "${wall[st_barker]}" "${wall[st_ordinary]}")" 2
