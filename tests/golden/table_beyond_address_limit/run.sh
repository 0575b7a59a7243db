# A data set with a rate outside 0..1 needs a table row of 2^26 frequencies (512 MiB): refused up
# front under an address-space limit of 300 MB, with its message and status 1.
awk 'BEGIN { T = 26; print T
  l = "100"; for (i = 2; i <= T; i++) l = l " 0"; print l
  l = "1.5"; for (i = 3; i <= T; i++) l = l " 0.5"; print l
  l = "1"; for (i = 3; i <= T; i++) l = l " 1"; print l
  l = "0.5"; for (i = 2; i <= T; i++) l = l " 0.5"; print l; print l }' > p.txt
(ulimit -v 300000; exec "$PLOVANET" IN=p.txt OUT=o.out MARK) | tail -1
echo "status ${PIPESTATUS[0]}"
