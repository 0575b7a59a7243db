# A file-size limit (ulimit -f, as batch schedulers set) makes the write fail instead of killing
# the run: its message and status 1, the part written put in place, no temporary file left.
echo previous > o.out
(ulimit -f 2; exec "$PLOVANET" IN=p.txt OUT=o.out MARK) | tail -n 1  # the console is no file
echo "status ${PIPESTATUS[0]}, o.out: $(wc -c < o.out) bytes, files: $(ls -A | tr '\n' ' ')"
