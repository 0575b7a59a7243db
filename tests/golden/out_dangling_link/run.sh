# A symbolic link to a file that does not exist yet is written through, as opening it would:
# the link stays a link and its target gets the output.
mkdir results
ln -s results/new.out o.out
"$PLOVANET" IN=p.txt OUT=o.out MARK > /dev/null
echo "status $?, o.out -> $(readlink o.out), results: $(ls -A results | tr '\n' ' ')"
cmp o.out results/new.out && echo "same bytes"
