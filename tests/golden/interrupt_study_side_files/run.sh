# A study interrupted after its first replicate file is in place: the side files of an earlier
# run are not left beside the new replicates; the TRUTH= and CSV= files are removed, with their
# temporary files. Replicate 2's output is a FIFO nobody reads, so the run waits there.
set -m  # background jobs keep SIGINT
exec 2>/dev/null  # job-control notices
echo earlier > t.csv
echo earlier > h.csv
mkfifo sim_0002.out
"$PLOVANET" STOCHASTIC SEED=21 REPS=3 OUT=sim.out TRUTH=t.csv CSV=h.csv > /dev/null &
pid=$!
for i in $(seq 200); do [ -e sim_0001.out ] && break; sleep 0.05; done
sleep 0.2  # the run is waiting to open sim_0002.out
kill -TERM $pid
wait $pid
echo "status $?, files: $(ls -A | tr '\n' ' ')"
