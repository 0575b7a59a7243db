# A writable file in a folder that takes no new files, and TMPDIR takes none either: the file
# cannot be replaced safely, so it is left as it was, with a message, instead of being cut to
# nothing and written in place.
[ "$(id -u)" = 0 ] && command -v setpriv > /dev/null || { echo "needs root and setpriv to run as another user"; exit 77; }
chmod 755 .
echo previous > o.out
chown nobody:nogroup o.out
TMPDIR="$PWD" setpriv --reuid=nobody --regid=nogroup --clear-groups "$PLOVANET" IN=p.txt OUT=o.out MARK | tail -n 1
echo "status ${PIPESTATUS[0]}, files: $(ls -A | tr '\n' ' ')"
