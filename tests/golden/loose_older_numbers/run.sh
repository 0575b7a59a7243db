# GROUPS= and SEED= read their values as they always have (SEED=5.7 is 5, GROUPS=2x is 2) and
# say so on standard error, naming the keyword and the value used; with STRICT that is an error
# and no file is written.
"$PLOVANET" STOCHASTIC SEED=5.7 OUT=a.out > a.txt
echo "status $?"
"$PLOVANET" STOCHASTIC SEED=5 OUT=b.out > b.txt
cmp a.out b.out && echo "SEED=5.7 draws as SEED=5"
"$PLOVANET" GROUPS=2x OUT=g.out > g.txt
echo "status $?"
grep 'max groups' g.txt
"$PLOVANET" SEED=7 "GROUPS=1" OUT=p.out > /dev/null
echo "plain values: status $?"
"$PLOVANET" STRICT SEED=5.7 OUT=s.out > s.txt
echo "STRICT: status $?"
tail -n 1 s.txt
ls
