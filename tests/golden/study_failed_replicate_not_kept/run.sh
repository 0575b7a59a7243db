# In a study, a replicate whose file cannot be written completely (here a file-size limit of
# 3 KiB: replicate 1 has 3011 bytes, replicate 2 3287) is not put in place, so tools that glob
# sim_* never take a cut file for a replicate; the TRUTH= file holds the finished replicate.
(ulimit -f 3; exec "$PLOVANET" IN=p.txt OUT=sim.out MARK STOCHASTIC SEED=7 RNG=CLASSIC REPS=2 TRUTH=t.csv) | tail -n 3
echo "status ${PIPESTATUS[0]}, files: $(ls -A | tr '\n' ' ')"
cut -d, -f1 t.csv | uniq -c
