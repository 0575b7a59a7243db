#!/usr/bin/env bash
# The R package in r/ takes the program's sources at build time, so that the repository keeps one
# copy of each. A copy of r/ is made in a scratch folder (PLOVANET_R_WORK, else a new temporary
# one), src/engine, src/output and src/run (not the command line's program.cpp and file_sink.cpp,
# and of the two platform halves only this system's) copied into its src/plovanet/, and the object list written into its src/Makevars;
# `build` then runs R CMD build on it, `check` also R CMD check --no-manual on the tarball. The
# repository is left as it was. Tests that compare with the command line run when
# PLOVANET_BINARY and PLOVANET_EXAMPLES are set.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-build}
work=${PLOVANET_R_WORK:-}
if [ -z "$work" ]; then
  work=$(mktemp -d)
  # A check made in a folder of its own leaves nothing behind; a build keeps its tarball.
  [ "$what" = check ] && trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
work=$(cd "$work" && pwd)

export MAKEFLAGS=${MAKEFLAGS:--j2}
pkg=$work/r

prepare() {
  rm -rf "$pkg"
  cp -R "$root/r" "$pkg"
  local dest=$pkg/src/plovanet
  rm -rf "$dest"
  mkdir -p "$dest"
  (cd "$root/src" && find engine output run -name '*.h' -o -name '*.cpp' | while read -r f; do
    case $f in
      # The command line's top and its files: the package writes no file and prints nothing.
      run/program.cpp | run/file_sink.cpp) continue ;;
      run/platform_windows.cpp) [ "${OS:-}" = Windows_NT ] || continue ;;
      run/platform_posix.cpp) [ "${OS:-}" != Windows_NT ] || continue ;;
    esac
    mkdir -p "$dest/$(dirname "$f")"
    cp "$f" "$dest/$f"
  done)
  local objs
  objs=$(cd "$pkg/src" && find plovanet -name '*.cpp' | LC_ALL=C sort | sed 's/\.cpp$/.o/' | tr '\n' ' ')
  local version
  version=$(sed -n 's/^project(plovanet VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  sed -e "s|@OBJECTS@|RcppExports.o binding.o ${objs% }|" -e "s|@VERSION@|$version|" \
    "$pkg/src/Makevars.in" >"$pkg/src/Makevars"
}

prepare
[ "$what" = prepare ] && exit 0
cd "$work"
R CMD build --no-build-vignettes "$pkg"
tarball=$(ls -t plovanet_*.tar.gz | head -n 1)
echo "built $work/$tarball"
if [ "$what" = check ]; then
  _R_CHECK_FORCE_SUGGESTS_=false R CMD check --no-manual "$tarball"
  if grep -q -E '^Status: .*(ERROR|WARNING)' plovanet.Rcheck/00check.log; then
    cat plovanet.Rcheck/00check.log >&2
    echo "R CMD check: ERROR or WARNING" >&2
    exit 1
  fi
fi
