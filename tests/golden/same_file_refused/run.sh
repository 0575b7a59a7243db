# IN= and OUT= leading to one file, however spelled ($1), are refused and the parameter file kept.
ln p.txt hard.txt
ln -s p.txt link.txt
"$PLOVANET" IN=p.txt OUT="$1" MARK | tail -1
echo "status ${PIPESTATUS[0]}"
