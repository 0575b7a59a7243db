# From 14 occasions on, history numbers have five digits: the identifier is nine characters,
# as the header's a9 declares (history number 00001 included), and the line number wraps within
# its four digits (9999, 0000, 0001). 10001 animals share history 08192.
"$PLOVANET" IN=p.txt OUT=c.out CAPTURE > /dev/null
echo "status $?"
tr -d '\r' < c.out > lf.out  # Windows line ends
awk 'NR <= 8 || (NR >= 10006 && NR <= 10008) || !/;$/' lf.out
echo "$(grep -c ';$' lf.out) records, $(awk '/;$/ && length($1) != 9' lf.out | wc -l) identifiers not 9 characters"
