# IN= and OUT= leading to one file, however spelled, are refused and the parameter file kept.
printf '3\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.6 0.6 0.6\n' > p.txt
ln p.txt hard.txt
ln -s p.txt link.txt
for out in p.txt ./p.txt hard.txt link.txt; do
  "$PLOVANET" IN=p.txt OUT=$out MARK | tail -1
  echo "status ${PIPESTATUS[0]}"
done
