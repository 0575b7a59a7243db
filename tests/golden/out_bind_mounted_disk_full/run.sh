# An output file mounted on its own whose disk has no room for the new content (here a tmpfs of
# one page, the new file twice that): the run ends with its message, and the file keeps its
# previous content rather than the part of the new one that fitted.
[ "$(id -u)" = 0 ] && command -v unshare > /dev/null || { echo "needs root and unshare for a private mount"; exit 77; }
unshare -m true 2> /dev/null || { echo "this machine allows no private mount namespace"; exit 77; }
touch o.out
mkdir small
unshare -m bash -c '
  mount -t tmpfs -o size=4k tmpfs small && echo previous > small/host.out && mount --bind small/host.out o.out || exit 77
  "$PLOVANET" IN=p.txt OUT=o.out MARK | tail -n 1
  echo "status ${PIPESTATUS[0]}, o.out: $(head -n 1 o.out), $(wc -c < o.out) bytes"
' || exit
rmdir small
echo "files: $(ls -A | tr '\n' ' ')"
