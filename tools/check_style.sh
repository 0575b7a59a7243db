#!/usr/bin/env bash
# Style checks, changing nothing: clang-format over every source and test file, and clang-tidy
# (the checks in .clang-tidy) over the program's sources as the ci build compiles them. Run
# `cmake --preset ci` first, or give another build folder as the argument. Exits with 1 on any
# finding.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/ci}
status=0

mapfile -t files < <(find src tests -path tests/golden -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "check_style: clang-format would change the files above (clang-format -i FILE)" >&2
  status=1
fi

if [ ! -f "$build/compile_commands.json" ]; then
  echo "check_style: no $build/compile_commands.json; run cmake --preset ci first" >&2
  exit 1
fi
# The database holds GCC's flags; under clang, -Wconversion also means -Wsign-conversion, which
# the clang build turns off as well (CMakeLists.txt). Headers under src/ are checked through the
# files that include them.
if ! clang-tidy -p "$build" --quiet --warnings-as-errors='*' --extra-arg=-Wno-sign-conversion \
  --header-filter="^$PWD/src/" src/*/*.cpp src/*/*/*.cpp src/main.cpp; then
  echo "check_style: clang-tidy found the above" >&2
  status=1
fi

# The Windows half of the platform layer compiles to nothing here: where MinGW-w64 is installed,
# it is checked for its own target, with that compiler's C++ and Windows headers (not its own
# compiler headers, which only GCC reads).
mingw=x86_64-w64-mingw32-g++-posix
if command -v "$mingw" >/dev/null; then
  args=(--extra-arg=--target=x86_64-w64-mingw32)
  while read -r dir; do
    case "$dir" in */include/c++* | */x86_64-w64-mingw32/include) args+=("--extra-arg=-isystem$dir") ;; esac
  done < <("$mingw" -xc++ -E -v /dev/null 2>&1 >/dev/null | sed -n '/^#include <\.\.\.>/,/^End of search/p')
  if ! clang-tidy -p "$build" --quiet --warnings-as-errors='*' --extra-arg=-Wno-sign-conversion "${args[@]}" \
    --header-filter="^$PWD/src/" src/run/platform_windows.cpp; then
    echo "check_style: clang-tidy found the above in the Windows build" >&2
    status=1
  fi
fi
exit "$status"
