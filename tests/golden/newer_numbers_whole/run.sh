# REPS=, FIRSTREP= and CLASSES= take a whole number in range and nothing else: each of these is
# refused with a message naming the keyword, before any file is touched.
for a in REPS=1e3 REPS=2.5 REPS=10x REPS= REPS=+3 "REPS= 4" REPS=2147483648 FIRSTREP=1.5 FIRSTREP=0x1 \
         CLASSES=2.5 CLASSES=-2; do
  "$PLOVANET" "$a" OUT=o.out > out 2> err
  echo "$a: status $? $(tail -n 1 out | tr -d '\r') / $(cat err)"
done
"$PLOVANET" REPS=002 OUT=o.out > /dev/null 2> err
echo "REPS=002: status $? $(cat err)"
rm out err
ls
