# A stochastic run seeded from the clock names the seed on standard error; that SEED= repeats the
# run, and it is the seed a study's TRUTH= rows give.
"$PLOVANET" STOCHASTIC OUT=a.out > /dev/null 2> err
echo "status $?"
sed 's/SEED=-\{0,1\}[0-9][0-9]*/SEED=<seed>/' err
seed=$(sed -n 's/.*SEED=\(-\{0,1\}[0-9][0-9]*\).*/\1/p' err)
"$PLOVANET" STOCHASTIC OUT=b.out SEED="$seed" > /dev/null 2> err2
cmp a.out b.out && echo "SEED=<seed> repeats the run"
cat err2
"$PLOVANET" STOCHASTIC OUT=/dev/null REPS=2 TRUTH=t.csv 2> err3 | tail -4
sed 's/SEED=-\{0,1\}[0-9][0-9]*/SEED=<seed>/' err3
seed3=$(sed -n 's/.*SEED=\(-\{0,1\}[0-9][0-9]*\).*/\1/p' err3)
awk -F, -v s="$seed3" 'NR > 1 && $6 != s { bad = 1 } END { print bad ? "TRUTH seeds differ" : "TRUTH gives the seed" }' t.csv
"$PLOVANET" EXP OUT=/dev/null 2>&1 > /dev/null | wc -l
