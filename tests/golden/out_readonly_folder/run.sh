# A writable file in a folder that takes no new files (the run is another user; the folder is
# root's): no temporary file can be made beside it, so the new file is written in TMPDIR, said
# on standard error, and copied over the file when complete. The file keeps its owner.
[ "$(id -u)" = 0 ] && command -v setpriv > /dev/null || { echo "needs root and setpriv to run as another user"; exit 77; }
chmod 755 .
echo previous > o.out
chown nobody:nogroup o.out
TMPDIR=/tmp setpriv --reuid=nobody --regid=nogroup --clear-groups "$PLOVANET" IN=p.txt OUT=o.out MARK | tail -n 1
echo "status ${PIPESTATUS[0]}, owner: $(stat -c %U:%G o.out), $(head -n 1 o.out), files: $(ls -A | tr '\n' ' ')"
