# An output file whose name has 250 characters: its temporary file's name is shortened to fit,
# so SIGTERM while it is written still leaves the previous file, not a cut one.
exec 2>/dev/null  # job-control notices
name=$(printf 'o%.0s' $(seq 246)).out
awk 'BEGIN { print 3; for (i = 0; i < 200; i++) print "100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.6 0.6 0.6" }' > data.txt
echo previous > "$name"
mkfifo in.fifo
"$PLOVANET" IN=in.fifo OUT="$name" MARK > /dev/null &
pid=$!
exec 3> in.fifo
cat data.txt >&3  # more than one read buffer: the run starts writing, then waits for the rest
for i in $(seq 100); do ls -A | grep -q '^\.ooooo' && break; sleep 0.05; done
kill -TERM $pid
wait $pid
echo "status $?, ${#name} characters: $(cat "$name"), temporary files: $(ls -A | grep -c '^\.')"
exec 3>&-
"$PLOVANET" IN=data.txt OUT="$name" MARK > /dev/null
echo "status $?, $(head -n 1 "$name")"
