#!/usr/bin/env bash
# The golden cases of tests/golden/ run by the Windows build under Wine, through the test
# binary's harness (tests/golden_test.cpp, which skips the cases marked no_wine), then a Ctrl+C
# check that has no Linux twin.
#   tests/wine_golden.sh [path/to/plovanet.exe]     (default: build/windows/plovanet.exe)
# Needs wine64 (or WINE and WINESERVER) and build/ci/tests/plovanet_tests (or TESTS). One
# wineserver with a fresh prefix serves the whole run, so each case costs a process start.
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
exe="$(realpath "${1:-$here/../build/windows/plovanet.exe}")" || exit 2
[ -f "$exe" ] || { echo "no $exe: build it with: cmake --workflow --preset windows" >&2; exit 2; }
tests="${TESTS:-$here/../build/ci/tests/plovanet_tests}"
[ -x "$tests" ] || { echo "no $tests: build it with: cmake --workflow --preset ci" >&2; exit 2; }
wine="${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}"
wineserver="${WINESERVER:-$(command -v wineserver || echo /usr/lib/wine/wineserver)}"
[ -x "$wine" ] || { echo "wine64 not found (apt-get install wine64, or set WINE)" >&2; exit 2; }

tmp="$(mktemp -d "${TMPDIR:-/tmp}/plovanet_wine.XXXXXX")"
export WINEPREFIX="$tmp/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
trap '"$wineserver" -k >/dev/null 2>&1; rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM
"$wine" wineboot -i >"$tmp/wineboot.log" 2>&1 || { cat "$tmp/wineboot.log" >&2; exit 2; }
"$wineserver" -p
printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$wine" "$exe" >"$tmp/plovanet"
chmod +x "$tmp/plovanet"

PLOVANET_GOLDEN_BIN="$tmp/plovanet" PLOVANET_GOLDEN_WINE=1 "$tests" --gtest_filter='Cases/Golden.*'
failed=$?

# Ctrl+C while the output is being written (Wine turns SIGINT into it) must leave the previous
# file and no temporary, and end with Windows' Ctrl+C status 0xC000013A (its low byte: 58).
mkdir -p "$tmp/ctrl_c" && cd "$tmp/ctrl_c" || exit 2
got="$(
  exec 2>/dev/null
  set -m  # a background job keeps SIGINT
  awk 'BEGIN { print 3; for (i = 0; i < 200; i++) print "100 50 50\n0.8 0.8\n1 1\n0.5 0.5 0.5\n0.6 0.6 0.6" }' >data.txt
  echo previous >o.out
  mkfifo in.fifo
  "$wine" "$exe" IN=in.fifo OUT=o.out MARK >/dev/null 2>&1 &
  pid=$!
  exec 3>in.fifo
  cat data.txt >&3  # more than one read buffer: the run starts writing, then waits for the rest
  for _ in $(seq 200); do ls -A | grep -q '^\.o\.out\.' && break; sleep 0.05; done
  kill -INT "$pid"
  wait "$pid"
  echo "status $?, o.out: $(cat o.out), files: $(ls -A | tr '\n' ' ')"
)"
cd "$here" || exit 2
if [ "$got" = "status 58, o.out: previous, files: data.txt in.fifo o.out " ]; then
  echo "Ctrl+C under Wine: passed"
else
  echo "FAILED Ctrl+C under Wine: $got"
  failed=1
fi
[ "$failed" -eq 0 ]
