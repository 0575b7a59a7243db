# Memory runs out in the middle of an occasion (ten million animals, one stochastic career
# each): the error starts on a line of its own, not glued to the unfinished occasion line.
(ulimit -v 16000; exec "$PLOVANET" IN=p.txt OUT=o.out MARK STOCHASTIC SEED=5) | tail -n 2
echo "status ${PIPESTATUS[0]}"
