# Ctrl+C while the output is being written (Wine turns SIGINT into it) leaves the previous file
# and no temporary, and ends with Windows' Ctrl+C status 0xC000013A (its low byte: 58).
exec 2>/dev/null
set -m  # a background job keeps SIGINT
awk 'BEGIN { print 3; for (i = 0; i < 200; i++) print "100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.6 0.6 0.6" }' >data.txt
echo previous >o.out
mkfifo in.fifo
"$PLOVANET" IN=in.fifo OUT=o.out MARK >/dev/null &
pid=$!
exec 3>in.fifo
cat data.txt >&3  # more than one read buffer: the run starts writing, then waits for the rest
for _ in $(seq 200); do ls -A | grep -q '^\.o\.out\.' && break; sleep 0.05; done
kill -INT "$pid"
wait "$pid"
echo "status $?, o.out: $(cat o.out), files: $(ls -A | tr '\n' ' ')"
exec 3>&-
