# A long IN= name in the too-many-data-sets message is printed whole, with its line end.
d=$(printf 'd%.0s' $(seq 100))
mkdir -p $d/$d/$d/$d
name=$d/$d/$d/$d/$(printf 'f%.0s' $(seq 90)).txt
echo 2 > $name
for i in 1 2 3; do printf '10 10\n0.5\n1\n0.5 0.5\n0.5 0.5\n' >> $name; done
"$PLOVANET" IN=$name GROUPS=2 | tail -1 | sed "s#$d#D#g"
echo "status ${PIPESTATUS[0]}"
