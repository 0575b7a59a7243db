# SIGTERM or SIGINT ($1) while the output ($2, o.out unless given) is being written leaves the
# previous file and no temporary; a name of 250 characters gets a temporary name shortened to
# fit. Under Wine, SIGINT is Ctrl+C, ending with Windows' status 0xC000013A (its low byte: 58).
exec 2>/dev/null  # job-control notices
set -m            # background jobs keep SIGINT
out=${2:-o.out}
awk 'BEGIN { print 3; for (i = 0; i < 200; i++) print "100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.6 0.6 0.6" }' > data.txt
echo previous > "$out"
mkfifo in.fifo
"$PLOVANET" IN=in.fifo OUT="$out" MARK > /dev/null &
pid=$!
exec 3> in.fifo
cat data.txt >&3  # more than one read buffer: the run starts writing, then waits for the rest
for _ in $(seq 200); do ls -A | grep -q '^\.o' && break; sleep 0.05; done
kill -"$1" $pid
wait $pid
echo "SIG$1: status $?, ${#out} characters: $(cat "$out"), files: $(ls -A | grep -c .), temporary: $(ls -A | grep -c '^\.')"
exec 3>&-
"$PLOVANET" IN=data.txt OUT="$out" MARK > /dev/null
echo "then: status $?, $(head -n 1 "$out")"
