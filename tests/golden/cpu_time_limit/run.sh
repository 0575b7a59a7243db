# A CPU-time limit (ulimit -t, how PBS and SGE end a job) ends the run as SIGTERM does: the
# previous file stays and the temporary file is removed. The data sets never end, so the run
# is still reading when the limit strikes.
exec 2>/dev/null  # the shell's notices about the ended pipeline
echo previous > o.out
awk 'BEGIN { print 3; while (1) print "1 0 0\n0 0\n1 1\n0 0 0\n0 0 0" }' |
  (ulimit -c 0; ulimit -S -t 1; exec "$PLOVANET" IN=/dev/stdin OUT=o.out MARK > /dev/null)
echo "status $?, o.out: $(cat o.out), files: $(ls -A | tr '\n' ' ')"
