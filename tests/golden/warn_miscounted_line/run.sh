# A parameter file written one vector per line, in which one line holds another count than its
# vector takes, is named: the line, the vector, both counts and where the values went. Other
# layouts (one line, wrapped lines, one value per line) give no such warning.
# Each layout: name, arguments, the file (printf format).
check() {
  name=$1 args=$2
  printf "$3" > p.txt
  "$PLOVANET" IN=p.txt OUT=o.out $args > out.txt 2> err.txt
  echo "== $name: status $?"
  grep -v 'is not a rate\|entrants are negative\|ends inside' err.txt
}
check "srv one extra" "" '3\n100 50 50\n0.8 0.8 0.7\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n-1 0 0\n'
check "theta one missing" "" '3\n100 50 50\n0.8 0.8\n1\n0.5 0.5 0.5\n0.5 0.5 0.5\n-1 0 0\n'
check "p two extra" "" '3\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5 0.4 0.4\n0.5 0.5 0.5\n-1 0 0\n'
check "c one extra, last vector" "" '3\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5 0.5\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n'
check "c one missing, last vector" "" '3\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5\n-1 0 0\n'
check "n one extra" "" '3\n100 50 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n'
check "second data set, f with RECRUIT=BINOMIAL" "RECRUIT=BINOMIAL" '3\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n0.2 0.2\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n0.2 0.2 0.2\n-1 0 0\n'
check "se(f) with RECRUIT=NORMAL" "RECRUIT=NORMAL SEED=1" '3\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n0.2 0.2\n0.1\n-1 0 0\n'
check "one occasion, c extra" "" '1\n100\n0.5\n0.5 0.5\n'
check "head on the first line" "" '3 100 50 50\n0.8 0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n'
check "STRICT" "STRICT MARK" '3\n100 50 50\n0.8 0.8 0.7\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n-1 0 0\n'
echo "STRICT keeps the header: $(head -c 4 o.out)"
check "right, one vector per line" "" '3\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5\n-1 0 0\n'
check "right, one occasion" "" '1\n100\n0.5\n0.5\n-1\n'
check "all on one line" "" '3\n100 50 50 0.8 0.8 1 1 0.5 0.5 0.5 0.5 0.5 0.5 0.7\n'
check "one value per line, two occasions" "" '2\n100\n50\n0.8\n1\n0.5\n0.5\n0.5\n0.5\n'
check "wrapped lines" "" '4\n100 50 50 50 0.8 0.8\n0.8 1 1 1 0.5 0.5\n0.5 0.5 0.5 0.5 0.5 0.5\n'
check "data set per line" "" '3\n100 50 50 0.8 0.8 1 1 0.5 0.5 0.5 0.5 0.5 0.5\n100 50 50 0.8 0.8 1 1 0.5 0.5 0.5 0.5 0.5 0.5\n'
check "two lines off" "" '3\n100 50 50\n0.8 0.8 0.8\n1\n0.5 0.5 0.5\n0.5 0.5 0.5\n-1 0 0\n'
check "commas" "" '3\n100,50,50\n0.8,0.8\n'
check "a word after the last vector" "" '3\n100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.5 0.5 0.5 end\n'
check "CRLF line ends" "" '3\r\n100 50 50\r\n0.8 0.8 0.7\r\n1 1\r\n0.5 0.5 0.5\r\n0.5 0.5 0.5\r\n'
rm -f p.txt out.txt err.txt
