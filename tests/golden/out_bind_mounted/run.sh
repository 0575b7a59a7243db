# An output file mounted on its own (docker run -v $PWD/out.txt:/work/out.txt) cannot be renamed
# over (EBUSY): the finished content is copied into it instead of thrown away.
[ "$(id -u)" = 0 ] && command -v unshare > /dev/null || { echo "needs root and unshare for a private mount"; exit 77; }
unshare -m true 2> /dev/null || { echo "this machine allows no private mount namespace"; exit 77; }
echo previous > host.out
touch o.out
unshare -m bash -c '
  mount --bind host.out o.out || exit 77
  "$PLOVANET" IN=p.txt OUT=o.out MARK > /dev/null
  echo "status $?, $(head -n 1 o.out)"
' || exit
echo "host.out: $(head -n 1 host.out), files: $(ls -A | tr '\n' ' ')"
