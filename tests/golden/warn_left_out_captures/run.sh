# Expected values whose left-out histories (0.00005 or less) hold more than 1% of the captures
# are warned about, once per study; a CSV= file that holds nearly all of them silences it; STRICT
# makes it an error after the output file is complete.
"$PLOVANET" OUT=a.out > /dev/null
echo "status $?"
"$PLOVANET" OUT=b.out REPS=2 > /dev/null
echo "status $?"
"$PLOVANET" OUT=c.out CSV=c.csv MINFREQ=0 > /dev/null
echo "status $?"
"$PLOVANET" OUT=d.out STRICT 2>&1 | tail -1
echo "status ${PIPESTATUS[0]}"
cmp a.out d.out && echo "the output file is complete"
"$PLOVANET" OUT=e.out STOCHASTIC SEED=1 > /dev/null
echo "stochastic: status $?"
