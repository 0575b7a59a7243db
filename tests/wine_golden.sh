#!/usr/bin/env bash
# Runs every whole-run golden case of tests/golden/ against the Windows build under Wine.
#
#   tests/wine_golden.sh [path/to/plovanet.exe]     (default: build/windows/plovanet.exe)
#
# A case is checked as tests/golden_test.cpp checks it on Linux: the files of in/ are copied into
# an empty folder, the program runs there with the arguments of args (one per line) and stdin from
# /dev/null, and then stdout, stderr (when the case has that file), status, out/ and absent must
# match. A case with a run.sh runs that script instead; it finds the program in $PLOVANET.
# The records are the same on every platform, but Windows text files and the console end lines
# with CRLF, so CRLF is folded to LF in the console text and the files before comparing.
#
# Prints one line per failed or skipped case, then "N passed, N failed"; exits 1 on any failure.
# Needs wine64 (Debian: /usr/lib/wine/wine64; set WINE to use another). Wine runs with a fresh
# prefix in a temporary folder, without a display and with its debug output off; one wineserver is
# kept alive for the whole run so that each case costs a process start, not a Wine start.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
golden="$here/golden"
exe="$(realpath "${1:-$here/../build/windows/plovanet.exe}")" || exit 2
[ -f "$exe" ] || { echo "no $exe: build it with: cmake --workflow --preset windows" >&2; exit 2; }

# Cases that cannot run under Wine, with the reason. A case is also skipped when its arguments
# name a /dev/ device or its run.sh uses one of the POSIX-only means listed in posix_only.
declare -A skip=(
  [fail_output_full]="/dev/full has no Windows counterpart (no device that is always full)"
)
posix_only='/dev/(full|zero|tty|std|fd/)|ulimit|\bkill\b|\btrap\b|[0-9]?[<>]&-|\bln +-s|mkfifo|chmod'

wine="${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}"
wineserver="$(command -v wineserver || echo "$(dirname "$wine")/wineserver")"
[ -x "$wine" ] || { echo "wine64 not found (apt-get install wine64, or set WINE)" >&2; exit 2; }

tmp="$(mktemp -d "${TMPDIR:-/tmp}/plovanet_wine.XXXXXX")"
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# First start: make the prefix (several seconds), then keep the server running between cases.
"$wine" wineboot -i >"$tmp/wineboot.log" 2>&1 || { cat "$tmp/wineboot.log" >&2; exit 2; }
"$wineserver" -p

# $PLOVANET for run.sh cases.
cat >"$tmp/plovanet" <<EOF
#!/bin/sh
exec "$wine" "$exe" "\$@"
EOF
chmod +x "$tmp/plovanet"

crlf_to_lf() { sed 's/\r$//' "$1"; }
same() { cmp -s <(crlf_to_lf "$1") "$2"; }  # $1 made under Wine, $2 expected

pass=0 fail=0 skipped=0
for dir in "$golden"/*/; do
  name="$(basename "$dir")"
  reason="${skip[$name]:-}"
  if [ -z "$reason" ] && [ -f "$dir/args" ] && grep -qE '/dev/' "$dir/args"; then
    reason="arguments name a /dev/ device"
  fi
  if [ -z "$reason" ] && [ -f "$dir/run.sh" ] && grep -qE "$posix_only" "$dir/run.sh"; then
    reason="run.sh uses POSIX-only means ($(grep -oE "$posix_only" "$dir/run.sh" | head -1))"
  fi
  if [ -n "$reason" ]; then
    echo "skipped $name: $reason"
    skipped=$((skipped + 1))
    continue
  fi

  work="$tmp/cases/$name"
  mkdir -p "$work"
  [ -d "$dir/in" ] && cp -R "$dir/in/." "$work/"
  if [ -f "$dir/run.sh" ]; then
    (cd "$work" && PLOVANET="$tmp/plovanet" timeout 120 bash "$dir/run.sh") \
      >"$tmp/stdout" 2>"$tmp/stderr" </dev/null
  else
    args=()
    [ -f "$dir/args" ] && mapfile -t args <"$dir/args"
    (cd "$work" && timeout 120 "$wine" "$exe" "${args[@]}") >"$tmp/stdout" 2>"$tmp/stderr" </dev/null
  fi
  status=$?

  why=()
  same "$tmp/stdout" "$dir/stdout" || why+=("stdout differs")
  [ ! -f "$dir/stderr" ] || same "$tmp/stderr" "$dir/stderr" || why+=("stderr differs")
  [ "$status" = "$(cat "$dir/status")" ] || why+=("status $status, expected $(cat "$dir/status")")
  if [ -d "$dir/out" ]; then
    for want in "$dir/out"/*; do
      made="$work/$(basename "$want")"
      if [ ! -f "$made" ]; then
        why+=("$(basename "$want") missing")
      elif ! same "$made" "$want"; then
        why+=("$(basename "$want") differs")
      fi
    done
  fi
  if [ -f "$dir/absent" ]; then
    while IFS= read -r gone; do
      [ -z "$gone" ] || [ ! -e "$work/$gone" ] || why+=("$gone exists")
    done <"$dir/absent"
  fi

  if [ ${#why[@]} -eq 0 ]; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "FAILED $name: $(printf '%s; ' "${why[@]}" | sed 's/; $//')"
    [ -z "${VERBOSE:-}" ] || diff <(crlf_to_lf "$tmp/stdout") "$dir/stdout" | head -20
  fi
  rm -rf "$work"
done

[ "$skipped" -eq 0 ] || echo "$skipped skipped (cannot run under Wine)"
echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
