# A robust design's MARK file through a pipe, which cannot seek back to fill in the line count:
# the header gives the bound 2^K instead, and the run succeeds.
"$PLOVANET" IN=r.txt OUT=/dev/stdout MARK | grep -E "^proc|^[01]{15} " | sed -n '1,2p;$p'
echo "status ${PIPESTATUS[0]}, records $("$PLOVANET" IN=r.txt OUT=/dev/stdout MARK | grep -cE '^[01]{15} ')"
