# Memory too short for the output buffer: its message and status 1, the earlier output kept.
echo previous > keep.out
(ulimit -v 6600; exec "$PLOVANET" IN=p.txt OUT=keep.out MARK)
echo "status $?"
