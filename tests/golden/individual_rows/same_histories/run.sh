# INDIVIDUAL without individual settings draws as the run without it: the same seed gives the
# same histories, which its lines (one per animal) add up to.
"$PLOVANET" "$@" OUT=ordinary.out > /dev/null || exit 1
"$PLOVANET" "$@" OUT=rows.out INDIVIDUAL > /dev/null || exit 1
sum() { awk '/^[01]+ / { n[$1] += $2 } END { for (h in n) printf "%s %d\n", h, n[h] }' "$1" | sort; }
sum ordinary.out > a
sum rows.out > b
cmp a b && echo "same histories: $(wc -l < a) of them, $(grep -c '^[01]* ' rows.out) lines"
