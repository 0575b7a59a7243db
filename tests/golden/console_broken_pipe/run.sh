# A console pipe closed early: the run goes on, the output file is complete, the status not 0.
awk 'BEGIN { print 3; for (i = 0; i < 2000; i++) print "100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.6 0.6 0.6" }' > p.txt
"$PLOVANET" IN=p.txt OUT=o.out MARK | head -1
echo "status ${PIPESTATUS[0]}"
"$PLOVANET" IN=p.txt OUT=ref.out MARK > /dev/null
cmp o.out ref.out && echo "output file complete"
