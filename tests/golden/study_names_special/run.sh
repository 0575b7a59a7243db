# A dot in a folder name is no extension; the null device takes every replicate unnumbered.
mkdir d.x
"$PLOVANET" OUT=d.x/sim REPS=2 STOCHASTIC SEED=4 > /dev/null
echo "status $?"
ls d.x
"$PLOVANET" OUT=/dev/null REPS=2 STOCHASTIC SEED=4 | tail -4
echo "status ${PIPESTATUS[0]}"
ls
