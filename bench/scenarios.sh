#!/usr/bin/env bash
# Whole-run timings of plovanet on a few fixed scenarios. Builds nothing: pass the binary
# (default build/release/plovanet under the repo root). Each scenario runs RUNS times (default
# 5), the scenarios taking turns so that a change in the machine's load hits them all alike;
# the table shows the median wall time and the largest peak RSS. Outputs are deleted as soon
# as they are measured. SCRATCH names the scratch folder's parent (default /tmp).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(realpath -m "${1:-$root/build/release/plovanet}")
runs=${RUNS:-5}
[ -x "$bin" ] || { echo "no binary at $bin" >&2; exit 1; }
if [ ! -x /usr/bin/time ]; then
  echo "installing GNU time (Debian package time) for the peak RSS" >&2
  apt-get install -y -q time >/dev/null
fi

dir=$(mktemp -d "${SCRATCH:-/tmp}/plovanet-bench.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir"  # relative file names only: a keyword in a path would act as an option

# params NPER N1 NLATER S TH P: a one-data-set parameter file, the same rate at every occasion.
params() {
  awk -v T="$1" -v n1="$2" -v nl="$3" -v s="$4" -v th="$5" -v p="$6" '
    function rep(v, c,   i, l) { l = v; for (i = 2; i <= c; i++) l = l " " v; return l }
    BEGIN { print T; print n1 " " rep(nl, T - 1); print rep(s, T - 1); print rep(th, T - 1)
            print rep(p, T); print rep(p, T) }'
}
params 24 1000000 100000 0.9 1 0.5 >large_th1.txt
params 24 1000000 100000 0.9 0.9 0.5 >large_th09.txt
params 12 100000 100000 0.8 0.9 0.3 >stoch_1e5.txt
params 12 200000 200000 0.8 0.9 0.3 >stoch_2e5.txt
params 24 1000000 100000 0.9 0.9 0.5 >stoch24.txt
params 28 10000 10000 0.9 0.9 0.5 >ev28.txt
# A realistic long study: 1000 animals, 100 entrants at every later occasion.
params 20 1000 100 0.8 0.95 0.3 >real20.txt
params 30 1000 100 0.8 0.95 0.3 >real30.txt
{ echo 30; for g in 1 2 3 4; do tail -n +2 real30.txt; done; } >real30g4.txt
# A simulation study: 100 replicates of a 10-occasion open study.
params 10 500 100 0.8 1 0.3 >study.txt
mkdir -p runs reps

scenarios=(large_th1 cp_large dd_large large_th09 stoch_1e5 stoch_2e5 stoch24_classic stoch24_pcg ev28 real20 real30 real30_st real30_g4
           runs100 reps100)
declare -A nper=([large_th1]=24 [large_th09]=24 [stoch_1e5]=12 [stoch_2e5]=12 [ev28]=28)
# Scenarios whose peak RSS must stay within 64 MiB whatever the number of occasions.
declare -A small=([real20]=1 [real30]=1 [real30_st]=1 [real30_g4]=1 [runs100]=1 [reps100]=1)

# measure NAME OUTPUT CMD...: runs CMD once, appends "microseconds kib bytes" to NAME.times.
measure() {
  local name=$1 out=$2
  shift 2
  local t0 t1
  t0=$(date +%s%N)
  if ! /usr/bin/time -f %M -o rss "$@" >log 2>&1; then
    echo "$name failed:" >&2
    tail -5 log >&2
    exit 1
  fi
  t1=$(date +%s%N)
  echo "$(( (t1 - t0) / 1000 )) $(tail -1 rss) $(stat -c %s "$out")" >>"$name.times"
}

load0=$(cut -d' ' -f1-3 /proc/loadavg)
# One untimed run for dd's byte count (and to warm up). dd goes first in each round, so that
# it does not meet the writeback of the two files just deleted.
"$bin" MARK IN=large_th1.txt OUT=large_th1.out >log 2>&1 || { tail -5 log >&2; exit 1; }
bytes=$(stat -c %s large_th1.out)
rm -f large_th1.out

for ((r = 1; r <= runs; r++)); do
  echo "run $r of $runs ($(df -h --output=avail . | tail -1 | tr -d ' ') free)" >&2
  # The same byte count written from user space in 1 MiB blocks, as the program writes it.
  measure dd_large dd.out dd if=/dev/zero of=dd.out bs=1M count="$bytes" iflag=count_bytes status=none
  rm -f dd.out
  measure large_th1 large_th1.out "$bin" MARK IN=large_th1.txt OUT=large_th1.out
  measure cp_large copy.out cp large_th1.out copy.out
  rm -f large_th1.out copy.out
  measure large_th09 large_th09.out "$bin" MARK IN=large_th09.txt OUT=large_th09.out
  rm -f large_th09.out
  measure stoch_1e5 stoch_1e5.out "$bin" MARK STOCHASTIC SEED=7 IN=stoch_1e5.txt OUT=stoch_1e5.out
  measure stoch_2e5 stoch_2e5.out "$bin" MARK STOCHASTIC SEED=7 IN=stoch_2e5.txt OUT=stoch_2e5.out
  measure stoch24_classic stoch24_classic.out "$bin" MARK STOCHASTIC SEED=7 RNG=CLASSIC IN=stoch24.txt OUT=stoch24_classic.out
  measure stoch24_pcg stoch24_pcg.out "$bin" MARK STOCHASTIC SEED=7 RNG=PCG IN=stoch24.txt OUT=stoch24_pcg.out
  rm -f stoch_*.out stoch24_*.out
  measure ev28 ev28.out "$bin" MARK IN=ev28.txt OUT=ev28.out
  rm -f ev28.out
  measure real20 real20.out "$bin" MARK IN=real20.txt OUT=real20.out
  measure real30 real30.out "$bin" MARK IN=real30.txt OUT=real30.out
  measure real30_st real30_st.out "$bin" MARK STOCHASTIC SEED=7 IN=real30.txt OUT=real30_st.out
  measure real30_g4 real30_g4.out "$bin" MARK GROUPS=4 IN=real30g4.txt OUT=real30_g4.out
  rm -f real*.out
  measure runs100 runs/sim_100.inp bash -c 'cd runs && for i in $(seq 100); do "$0" IN=../study.txt OUT=sim_$i.inp MARK STOCHASTIC SEED=$i >/dev/null || exit 1; done' "$bin"
  measure reps100 reps/sim_0100.inp bash -c 'cd reps && "$0" IN=../study.txt OUT=sim.inp MARK STOCHASTIC SEED=7 RNG=PCG REPS=100 >/dev/null' "$bin"
  rm -f runs/* reps/*
done

declare -A med
# Others' load distorts every figure here (and the writer thread needs a free core): quote runs
# made at low load.
echo "load average at start $load0, at end $(cut -d' ' -f1-3 /proc/loadavg)"
# Median wall seconds, largest peak RSS, output bytes, and the RSS bound for one group:
# 1.6 * 2^nper * 8 bytes + 32 MiB.
printf '\n%-11s %9s %10s %14s %9s %10s\n' scenario "wall s" "RSS MiB" "output bytes" "MB/s" "RSS bound"
for s in "${scenarios[@]}"; do
  m=$(sort -n "$s.times" | awk -v n="$runs" 'NR == int((n + 1) / 2) { print $1 / 1e6 }')
  med[$s]=$m
  awk -v s="$s" -v m="$m" -v T="${nper[$s]:-}" -v small="${small[$s]:-}" '
    { if ($2 > rss) rss = $2; bytes = $3 }
    END {
      bound = T == "" ? (small ? "64.0" : "-") : sprintf("%.1f", (1.6 * 2 ^ T * 8 + 32 * 2 ^ 20) / 2 ^ 20)
      ok = bound == "-" ? "" : (rss / 1024 <= bound + 0 ? " ok" : " OVER")
      printf "%-11s %9.4f %10.1f %14d %9.1f %10s%s\n", s, m, rss / 1024, bytes, bytes / 1e6 / m, bound, ok
    }' "$s.times"
done

ratio() {  # ratio NAME A B TARGET
  awk -v n="$1" -v a="${med[$2]}" -v b="${med[$3]}" -v t="$4" \
    'BEGIN { r = a / b; printf "%-24s %6.2f  (target <= %s: %s)\n", n, r, t, r <= t ? "met" : "MISSED" }'
}
echo
ratio "large_th09 / large_th1" large_th09 large_th1 2
ratio "large_th1 / cp_large" large_th1 cp_large 3
ratio "large_th1 / dd_large" large_th1 dd_large 2
ratio "stoch_2e5 / stoch_1e5" stoch_2e5 stoch_1e5 2
ratio "stoch24_pcg / classic" stoch24_pcg stoch24_classic 1.3
ratio "real30 / real20" real30 real20 3
ratio "reps100 / runs100 (x20)" reps100 runs100 0.05
