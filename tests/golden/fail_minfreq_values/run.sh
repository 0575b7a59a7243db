# MINFREQ= takes a number from 0 up, in decimal or exponent form, and refuses anything else.
for v in 0 0.000001 .5 1e-9 7; do
  "$PLOVANET" OUT=/dev/null CSV=ok.csv MINFREQ=$v > /dev/null 2>&1
  echo "MINFREQ=$v: status $?"
done
for v in -1 abc "" 1e-3x nan inf 0x10 " 1"; do
  "$PLOVANET" OUT=/dev/null CSV=no.csv "MINFREQ=$v" | tail -1
  echo "MINFREQ=$v: status ${PIPESTATUS[0]}"
done
ls
