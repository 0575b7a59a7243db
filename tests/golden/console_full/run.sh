# A console that cannot be written: the output file is complete, the status is not 0.
"$PLOVANET" IN=p.txt OUT=o.out MARK > /dev/full
echo "status $?"
