# A data set with a rate outside 0..1 needs a table row of 2^26 frequencies (512 MiB): refused up
# front under an address-space limit of 300 MB, with its message and status 1.
(ulimit -v 300000; exec "$PLOVANET" IN=p.txt OUT=o.out MARK) | tail -1
echo "status ${PIPESTATUS[0]}"
