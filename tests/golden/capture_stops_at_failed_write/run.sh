# 2^31 - 2 replicate lines into a pipe whose reader stops early: the run stops at the first failed
# write instead of formatting every line (or dying of SIGPIPE).
mkfifo out.fifo
head -c 100000 out.fifo > /dev/null &
timeout 20 "$PLOVANET" CAPTURE OUT=out.fifo > console.txt
echo "status $?"
tail -1 console.txt
wait
