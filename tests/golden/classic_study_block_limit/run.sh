# Where a classic replicate's block of 2^22 numbers ends (the README's figures): 400,000 animals
# at 30 occasions fit; a million at 20 occasions do not. Survival 0.9, capture 0.5.
data() {
  awk -v k="$1" -v n="$2" 'function row(first, v, c,   i, s) { s = first; for (i = 2; i <= c; i++) s = s " " v; print s }
    BEGIN { print k; row(n, 0, k); row(0.9, 0.9, k - 1); row(1, 1, k - 1); row(0.5, 0.5, k); row(0.5, 0.5, k) }' > p.txt
}
data 30 400000
"$PLOVANET" IN=p.txt OUT=/dev/null STOCHASTIC RNG=CLASSIC REPS=2 SEED=1 | tail -n 1
echo "status ${PIPESTATUS[0]}"
data 20 1000000
"$PLOVANET" IN=p.txt OUT=/dev/null STOCHASTIC RNG=CLASSIC REPS=2 SEED=1 | tail -n 1
echo "status ${PIPESTATUS[0]}"
