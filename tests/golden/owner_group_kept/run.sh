# A replaced file keeps its owner, group, mode and extended attributes: a user's file replaced
# by root; a file of a project group replaced by a member whose primary group is another;
# another user's group-writable file replaced by a member of the group (its owner cannot be
# given to a new file, so the content is copied in).
[ "$(id -u)" = 0 ] && command -v setpriv > /dev/null || { echo "needs root and setpriv to run as another user"; exit 77; }
getent group staff > /dev/null || { echo "needs a group named staff"; exit 77; }
command -v python3 > /dev/null || { echo "needs python3 for extended attributes"; exit 77; }
python3 -c 'import os; os.setxattr(".", "user.probe", b"1")' 2> /dev/null || { echo "this file system keeps no user attributes"; exit 77; }
chmod 777 .
as_nobody() { setpriv --reuid=nobody --regid=nogroup --groups="$(getent group staff | cut -d: -f3)" "$@"; }
label() { python3 -c 'import os; print(os.getxattr("o.out", "user.project").decode())' 2>&1 | tail -n 1; }
while IFS=: read -r what owner group mode runner; do
  echo previous > o.out && chown "$owner:$group" o.out && chmod "$mode" o.out
  python3 -c 'import os; os.setxattr("o.out", "user.project", b"plovers")'
  $runner "$PLOVANET" IN=p.txt OUT=o.out MARK > /dev/null
  echo "$what: status $?, $(stat -c '%U:%G %a' o.out), label $(label), $(head -c 19 o.out), files: $(ls -A | tr '\n' ' ')"
done <<'CASES'
root replaces a user's file:nobody:nogroup:640:
a member replaces a file of the group:nobody:staff:664:as_nobody
a member replaces another's file of the group:root:staff:664:as_nobody
CASES
