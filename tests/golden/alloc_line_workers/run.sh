# Memory short enough that the record lines' worker threads (16 occasions, a 2 MB block) run out:
# at every address-space limit in the range the run either completes or ends with "error
# allocating memory for ..." and status 1, leaving no temporary file; never an abort.
echo previous > o.out
runs=0 odd=0
for v in $(seq 16000 1000 40000); do
  (ulimit -v $v; exec "$PLOVANET" IN=p.txt OUT=o.out MARK > console.txt 2> err.txt)
  st=$? runs=$((runs + 1))
  if grep -qv '^plovanet: error: allocating memory for ' err.txt || ls -A | grep -q '^\.o\.out\.' ||
     { [ $st = 1 ] && ! tail -n 1 console.txt | grep -q '^error allocating memory for '; } ||
     { [ $st != 0 ] && [ $st != 1 ]; }; then
    odd=$((odd + 1))
    echo "limit $v KiB: status $st, $(tail -c 80 err.txt | tr '\n' ' ')$(ls -A | grep '^\.o\.out\.')"
  fi
  rm -f .o.out.*
done
echo "$runs limits, $odd not finished or ended with its message"
