# SIGINT at any moment of a study of small replicates, which makes a temporary file every few
# hundred microseconds: none is ever left, however the signal falls between making a file and
# putting it in place. Twenty studies, each interrupted after 0.1 to 0.3 seconds.
set -m            # background jobs keep SIGINT
exec 2>/dev/null  # job-control notices
left=0 other=0
for i in $(seq 20); do
  "$PLOVANET" IN=p.txt OUT=sim.out REPS=20000 STOCHASTIC SEED=$i > /dev/null &
  pid=$!
  sleep 0.$((RANDOM % 3 + 1))
  kill -INT $pid
  wait $pid
  [ $? = 130 ] || other=$((other + 1))
  left=$((left + $(ls -A | grep -c '^\.sim_')))
  find . -maxdepth 1 -name '*sim_*' -delete
done
echo "20 studies interrupted, $other not ended by the signal, $left temporary files left"
