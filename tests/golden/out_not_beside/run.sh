# A writable file in a folder that takes no new files (the run is another user; the folder is
# root's): the new file is written in TMPDIR, said on standard error, and copied over the file
# when complete, which keeps its owner. When TMPDIR ($1; "here": this folder) takes none either,
# the file cannot be replaced safely, so it is left as it was, with a message.
[ "$(id -u)" = 0 ] && command -v setpriv > /dev/null || { echo "needs root and setpriv to run as another user"; exit 77; }
chmod 755 .
echo previous > o.out
chown nobody:nogroup o.out
tmp=$1 && [ "$tmp" = here ] && tmp=$PWD
TMPDIR="$tmp" setpriv --reuid=nobody --regid=nogroup --clear-groups "$PLOVANET" IN=p.txt OUT=o.out MARK | tail -n 1
echo "status ${PIPESTATUS[0]}, owner: $(stat -c %U:%G o.out), $(head -n 1 o.out), files: $(ls -A | tr '\n' ' ')"
