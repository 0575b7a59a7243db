# OUT= a symbolic link to a file not there yet, and TRUTH= that file: writing both would make one
# file of two, so the run is refused as for any two names of one file, and nothing is made.
ln -s t.csv o.out
"$PLOVANET" IN=p.txt OUT=o.out TRUTH=t.csv MARK | tail -1
echo "status ${PIPESTATUS[0]}, files: $(ls -A | tr '\n' ' ')"
