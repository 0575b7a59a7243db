# A study of several replicates on the classic generator is warned about (its replicates are
# correlated); one replicate is not; STRICT refuses it before any file is written.
"$PLOVANET" STOCHASTIC SEED=3 RNG=CLASSIC REPS=2 OUT=c.out > /dev/null
echo "status $?"
"$PLOVANET" STOCHASTIC SEED=3 RNG=CLASSIC FIRSTREP=5 OUT=one.out > /dev/null
echo "status $?"
"$PLOVANET" STOCHASTIC SEED=3 RNG=CLASSIC REPS=2 OUT=s.out STRICT | tail -1
echo "status ${PIPESTATUS[0]}"
ls
