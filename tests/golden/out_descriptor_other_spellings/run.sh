# Other spellings of a descriptor's name are written through it too: standard output appended
# to a log keeps the log's earlier lines and is never replaced by a new file.
for out in //dev/stdout /dev/./stdout /proc/thread-self/fd/1; do
  echo "earlier line" > log.txt
  "$PLOVANET" IN=p.txt OUT="$out" MARK >> log.txt
  echo "$out: status $?, log: $(head -n 1 log.txt), $(grep -c '^proc stop;' log.txt) output file"
done
rm log.txt
echo "files: $(ls -A | tr '\n' ' ')"
