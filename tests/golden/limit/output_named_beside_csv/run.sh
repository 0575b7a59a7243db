# A file-size limit that both the CSV= file and the output file pass: whichever write fails first
# (each file has a writer thread of its own, so the order varies and the lines are sorted), both
# files are named and neither is put in place; the earlier output file keeps its bytes.
echo previous > o.out
(ulimit -f 300; exec "$PLOVANET" IN=p.txt OUT=o.out CSV=c.csv) > console.txt 2> /dev/null
echo "status $?"
grep '^error' console.txt | sort
rm console.txt
echo "o.out: $(wc -c < o.out) bytes, files: $(ls -A | tr '\n' ' ')"
