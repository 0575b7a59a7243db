# SIGINT while the finished output is copied into a file mounted on its own (58 MB of expected
# values): the copy is not cut short. The signal waits until the file holds the whole new
# content, then ends the run; the file is the same as a run's that was not interrupted.
[ "$(id -u)" = 0 ] && command -v unshare > /dev/null || { echo "needs root and unshare for a private mount"; exit 77; }
unshare -m true 2> /dev/null || { echo "this machine allows no private mount namespace"; exit 77; }
"$PLOVANET" IN=p.txt OUT=whole.out MARK > /dev/null
echo previous > host.out
touch o.out
unshare -m bash -c '
  set -m            # background jobs keep SIGINT
  exec 2>/dev/null  # job-control notices
  mount --bind host.out o.out || exit 77
  "$PLOVANET" IN=p.txt OUT=o.out MARK > /dev/null &
  pid=$!
  first=previous
  while [ "$first" = previous ] && kill -0 $pid; do IFS= read -r -n 8 first < o.out; done
  kill -INT $pid
  wait $pid
  st=$?
  [ $st = 130 ] || [ $st = 0 ] && echo "ended by the signal or done"
  cmp -s o.out whole.out && echo "o.out holds the whole new content"
' || exit
rm whole.out
echo "files: $(ls -A | tr '\n' ' ')"
