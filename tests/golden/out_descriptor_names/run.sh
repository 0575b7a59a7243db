# Names that stand for a descriptor are written through it: standard output appended to a log
# keeps the log's earlier lines, gets this run's console text and output file, and is never
# replaced; a study does not number such names.
echo "earlier line" > log.txt
"$PLOVANET" IN=p.txt OUT=/dev/stdout MARK >> log.txt
echo "status $?, log: $(head -n 1 log.txt), $(grep -c '^proc stop;' log.txt) output file, $(grep -c '^usage' log.txt) console"
"$PLOVANET" IN=p.txt OUT=/dev/fd/3 MARK STOCHASTIC SEED=1 REPS=2 3>> log.txt > console.txt
echo "status $?, log: $(head -n 1 log.txt), $(grep -c '^proc stop;' log.txt) output files; $(grep '^replicate' console.txt | tr '\n' ' ')"
"$PLOVANET" IN=p.txt OUT=/proc/self/fd/4 MARK 4> fd4.txt > /dev/null
echo "status $?, fd4.txt: $(grep -c '^proc stop;' fd4.txt) output file"
"$PLOVANET" IN=p.txt OUT=/dev/fd/5 MARK | tail -n 1
echo "status ${PIPESTATUS[0]}"
echo "files: $(ls -A | tr '\n' ' ')"
