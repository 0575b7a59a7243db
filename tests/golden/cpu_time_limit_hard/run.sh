# A CPU-time limit set as ulimit -t sets it (soft and hard alike, 2 seconds) still ends the run
# with SIGXCPU and its clean-up, not with the hard limit's SIGKILL: the previous file stays and no
# temporary file is left. The data sets never end, so the run is still reading when it strikes.
exec 2>/dev/null  # the shell's notices about the ended pipeline
echo previous > o.out
awk 'BEGIN { print 3; while (1) print "1 0 0\n0 0\n1 1\n0 0 0\n0 0 0" }' |
  (ulimit -c 0; ulimit -t 2; exec "$PLOVANET" IN=/dev/stdin OUT=o.out MARK > /dev/null)
echo "status $?, o.out: $(cat o.out), files: $(ls -A | tr '\n' ' ')"
