# MINFREQ= sets the threshold of the CSV= file alone: below 0.00005 the CSV file also holds the
# histories the output file leaves out (with 15 significant digits), above it fewer; the output
# file keeps its records either way.
"$PLOVANET" OUT=plain.out > /dev/null 2>&1
"$PLOVANET" OUT=deep.out CSV=deep.csv MINFREQ=0.00001 > /dev/null 2>&1
cmp plain.out deep.out && echo "MINFREQ= leaves the output file as it is"
"$PLOVANET" OUT=/dev/null CSV=all.csv MINFREQ=0 > /dev/null
"$PLOVANET" OUT=/dev/null CSV=high.csv MINFREQ=.0005 > /dev/null
"$PLOVANET" OUT=group.out CSV=group.csv MINFREQ=0.00001 GROUPS=2 > /dev/null
for f in plain.out deep.csv all.csv high.csv group.out group.csv; do echo "$f: $(wc -l < $f) lines"; done
