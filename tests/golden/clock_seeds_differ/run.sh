# Runs started together without SEED= (a job array, GNU parallel) get different seeds: the clock
# to the nanosecond is mixed with the process id. SEED=12345 still means the clock.
for i in 1 2 3 4 5 6 7 8; do
  "$PLOVANET" STOCHASTIC OUT=/dev/null > /dev/null 2> "err$i" &
done
wait
cat err? | sed -n 's/.*SEED=\(-\{0,1\}[0-9][0-9]*\).*/\1/p' > seeds
echo "$(wc -l < seeds) seeds, $(sort -u seeds | wc -l) different"
"$PLOVANET" STOCHASTIC SEED=12345 OUT=/dev/null 2>&1 > /dev/null | sed 's/SEED=-\{0,1\}[0-9][0-9]*/SEED=<seed>/'
