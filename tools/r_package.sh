#!/usr/bin/env bash
# The R package in r/ takes the program's sources at build time, so that the repository keeps one
# copy of each. `prepare` copies src/engine, src/output and src/run (not main.cpp, and of the two
# platform halves only this system's) into r/src/plovanet/ and writes the object list into
# r/src/Makevars; `build` then runs R CMD build r; `check` also R CMD check --no-manual on the
# tarball. Everything is made in a scratch folder (PLOVANET_R_WORK, else a new temporary one).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-build}
work=${PLOVANET_R_WORK:-$(mktemp -d)}

prepare() {
  local dest=$root/r/src/plovanet
  rm -rf "$dest"
  mkdir -p "$dest"
  (cd "$root/src" && find engine output run -name '*.h' -o -name '*.cpp' | while read -r f; do
    case $f in
      run/platform_windows.cpp) [ "${OS:-}" = Windows_NT ] || continue ;;
      run/platform_posix.cpp) [ "${OS:-}" != Windows_NT ] || continue ;;
    esac
    mkdir -p "$dest/$(dirname "$f")"
    cp "$f" "$dest/$f"
  done)
  local objs
  objs=$(cd "$root/r/src" && find plovanet -name '*.cpp' | LC_ALL=C sort | sed 's/\.cpp$/.o/' | tr '\n' ' ')
  local version
  version=$(sed -n 's/^project(plovanet VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  sed -e "s|@OBJECTS@|RcppExports.o binding.o ${objs% }|" -e "s|@VERSION@|$version|" \
    "$root/r/src/Makevars.in" >"$root/r/src/Makevars"
}

prepare
[ "$what" = prepare ] && exit 0
cd "$work"
R CMD build --no-build-vignettes "$root/r"
tarball=$(ls -t plovanet_*.tar.gz | head -n 1)
echo "built $work/$tarball"
if [ "$what" = check ]; then
  _R_CHECK_FORCE_SUGGESTS_=false R CMD check --no-manual "$tarball"
  if grep -q -E '^Status: .*(ERROR|WARNING)' plovanet.Rcheck/00check.log; then
    echo "R CMD check: ERROR or WARNING (see $work/plovanet.Rcheck/00check.log)" >&2
    exit 1
  fi
fi
