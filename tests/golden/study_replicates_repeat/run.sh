# Replicate 1 of a study is the run without REPS=, RNG= included; a study started at FIRSTREP=
# writes the same files (and TRUTH= and CSV= rows) as the same replicates of a longer study; for
# both streams. A study without RNG= (REPS=, or FIRSTREP= alone) draws from PCG.
for rng in CLASSIC PCG; do
  mkdir $rng && cd $rng
  "$PLOVANET" IN=../plovanet.txt STOCHASTIC SEED=11 RNG=$rng MARK OUT=single.out > /dev/null
  "$PLOVANET" IN=../plovanet.txt STOCHASTIC SEED=11 RNG=$rng MARK OUT=all.out REPS=4 TRUTH=all.truth CSV=all.csv > /dev/null
  "$PLOVANET" IN=../plovanet.txt STOCHASTIC SEED=11 RNG=$rng MARK OUT=all.out FIRSTREP=2 REPS=2 TRUTH=part.truth CSV=part.csv > part.console
  cmp single.out all_0001.out && echo "$rng: replicate 1 is the single run"
  "$PLOVANET" IN=../plovanet.txt STOCHASTIC SEED=11 RNG=$rng MARK OUT=split.out REPS=1 FIRSTREP=4 > /dev/null
  cmp split_0004.out all_0004.out && echo "$rng: replicate 4 alone is replicate 4 of the study"
  cmp -s all_0001.out all_0002.out || echo "$rng: replicates 1 and 2 differ"
  tail -4 part.console
  "$PLOVANET" IN=../plovanet.txt STOCHASTIC SEED=11 RNG=$rng MARK OUT=again.out REPS=3 > /dev/null
  for i in 2 3; do cmp again_000$i.out all_000$i.out && echo "$rng: replicate $i of REPS=3 is the same file"; done
  awk -F, 'NR == 1 || $1 == 2 || $1 == 3' all.truth | cmp - part.truth && echo "$rng: TRUTH rows of replicates 2-3 agree"
  awk -F, 'NR == 1 || $1 == 2 || $1 == 3' all.csv | cmp - part.csv && echo "$rng: CSV rows of replicates 2-3 agree"
  cd ..
done
cmp -s CLASSIC/all_0002.out PCG/all_0002.out || echo "the two streams differ"
"$PLOVANET" STOCHASTIC SEED=11 MARK OUT=default.out REPS=2 > /dev/null
cmp default_0001.out PCG/single.out && echo "REPS= without RNG=: replicate 1 is the single run with RNG=PCG"
"$PLOVANET" STOCHASTIC SEED=11 MARK OUT=default.out FIRSTREP=3 > /dev/null
cmp default_0003.out PCG/all_0003.out && echo "FIRSTREP= without RNG= draws from PCG too"
