# INDIVIDUAL's MARK header counts its lines, which 2^K does not bound: a pipe, which cannot seek
# back to fill the count in, ends the run with the write error instead of a wrong count.
"$PLOVANET" "$@" OUT=/dev/stdout 2> /dev/null | tail -n 2
echo "status ${PIPESTATUS[0]}"
