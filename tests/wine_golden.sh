#!/usr/bin/env bash
# The golden cases of tests/golden/ run by the Windows build under Wine, through the test
# binary's harness (tests/golden_test.cpp: the cases marked no_wine skipped, those marked
# wine_only run).
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
