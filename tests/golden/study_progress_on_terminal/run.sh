# On a terminal, the progress line of a study ("replicate 1200 of 2000", on standard error) is
# cleared before a replicate's line or the closing line is written, and drawn again below it: no
# line of the screen holds both. The screen is rebuilt from the transcript (a carriage return
# goes back to the line's start, later characters overwrite earlier ones).
command -v script > /dev/null || { echo "no script(1) to run the study on a terminal"; exit 77; }
script -qec "'$PLOVANET' IN=p.txt OUT=sim.txt REPS=2000 STOCHASTIC SEED=1" /dev/null > screen.txt
awk '{ n = split($0, part, "\r"); line = ""
       for (i = 1; i <= n; i++) line = part[i] substr(line, length(part[i]) + 1)
       sub(/ +$/, "", line); print line }' screen.txt > lines.txt
echo "replicate lines: $(grep -c '^replicate [0-9]*: sim_[0-9]*\.txt$' lines.txt)"
echo "lines run into the progress line: $(grep -c 'of 2000' lines.txt)"
tail -n 1 lines.txt
rm -f sim_*.txt screen.txt lines.txt
