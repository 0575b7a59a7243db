# A run (the arguments after the first two) under a file-size or address-space limit ($1 $2, as
# ulimit takes them; batch schedulers set both) is not killed: it ends with its message and
# status 1, the earlier file kept or the part written put in place, and no temporary file left.
# The console is a pipe, which the limit does not cut; an error starts a line of its own.
limit=("$1" "$2")
shift 2
[ -e o.out ] || echo previous > o.out
(ulimit "${limit[@]}"; exec "$PLOVANET" "$@") | tail -n 2
echo "status ${PIPESTATUS[0]}, o.out: $(wc -c < o.out) bytes, files: $(ls -A | tr '\n' ' ')"
