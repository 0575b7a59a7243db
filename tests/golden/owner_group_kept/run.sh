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
show() { echo "$1: status $2, $(stat -c '%U:%G %a' o.out), label $(label), $(head -c 19 o.out), files: $(ls -A | tr '\n' ' ')"; }
echo previous > o.out && chown nobody:nogroup o.out && chmod 640 o.out
python3 -c 'import os; os.setxattr("o.out", "user.project", b"plovers")' 
"$PLOVANET" IN=p.txt OUT=o.out MARK > /dev/null
show "root replaces a user's file" $?
echo previous > o.out && chown nobody:staff o.out && chmod 664 o.out
as_nobody "$PLOVANET" IN=p.txt OUT=o.out MARK > /dev/null
show "a member replaces a file of the group" $?
echo previous > o.out && chown root:staff o.out && chmod 664 o.out
as_nobody "$PLOVANET" IN=p.txt OUT=o.out MARK > /dev/null
show "a member replaces another's file of the group" $?
