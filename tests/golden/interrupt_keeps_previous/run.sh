# SIGTERM or SIGINT while the output is being written leaves the previous file and no temporary.
set -m  # background jobs keep SIGINT
exec 2>/dev/null  # job-control notices
awk 'BEGIN { print 3; for (i = 0; i < 200; i++) print "100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.6 0.6 0.6" }' > data.txt
for sig in TERM INT; do
  echo previous > o.out
  rm -f in.fifo && mkfifo in.fifo
  "$PLOVANET" IN=in.fifo OUT=o.out MARK > /dev/null &
  pid=$!
  exec 3> in.fifo
  cat data.txt >&3  # more than one read buffer: the run starts writing, then waits for the rest
  for i in $(seq 100); do ls -A | grep -q '^\.o\.out\.' && break; sleep 0.05; done
  kill -$sig $pid
  wait $pid
  echo "SIG$sig: status $?, o.out: $(cat o.out), files: $(ls -A | tr '\n' ' ')"
  exec 3>&-
done
