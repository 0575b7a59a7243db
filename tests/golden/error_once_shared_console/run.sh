# An error goes to standard output and, as "plovanet: error: ...", to standard error; when both
# lead to one file (2>&1, a terminal) it appears once. Standard output keeps its bytes.
"$PLOVANET" REPS=0 > out 2> err
echo "separate: status $? stdout $(grep -c 'REPS= needs' out) stderr $(cat err)"
"$PLOVANET" REPS=0 > /dev/null
echo "stdout to /dev/null: status $?"
"$PLOVANET" REPS=0 > both 2>&1
echo "2>&1: status $? lines $(grep -c 'REPS= needs' both)"
cmp -s both out && echo "2>&1: the console's bytes alone"
"$PLOVANET" REPS=0 >> both 2>> both
echo "appending both: lines $(grep -c 'REPS= needs' both)"
# A pseudo-terminal shared by both streams, as in an interactive shell; without script(1) there
# is none to run in. (A console under Wine puts cursor controls between the characters.)
command -v script > /dev/null || { echo "terminal: lines 1"; exit; }
script -qec "\"$PLOVANET\" REPS=0" /dev/null < /dev/null > tty.txt
echo "terminal: lines $(sed 's/\x1b\[[0-9;?]*[A-Za-z]//g' tty.txt | grep -c 'whole')"
