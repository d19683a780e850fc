#!/usr/bin/env bash
# Builds everything and runs every test, checks that the sources are formatted, and
# packs the .deb (build/<preset>/orbiculon_<version>_amd64.deb).
#
#   tools/test.sh            preset linux-release
#   tools/test.sh --werror   preset ci-linux-release: warnings are errors
#                            (the default when CI=true)
#
# The configure, build and test stages are those of
# `cmake --workflow --preset <preset>`, run one by one so each is timed.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source tools/stages.sh

read_werror_option 9 "$@"
preset=linux-release
$werror && preset=ci-linux-release

# clang-format in check mode over every C and C++ source of the repository.
check_format() {
  local files
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    files=$(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
  else
    files=$(find . -path './build*' -prune -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) -print)
  fi
  [[ -n "$files" ]] || return 0
  # shellcheck disable=SC2086
  if ! clang-format --dry-run -Werror $files; then
    echo "Not formatted as .clang-format says; fix with: clang-format -i <file>..." >&2
    return 1
  fi
}

stage "dependencies" tools/deps.sh --build --browser
stage "format check" check_format
stage "configure ($preset)" cmake --preset "$preset"
stage "build" cmake --build --preset "$preset"
stage "test" ctest --preset "$preset"
stage "package (.deb)" cpack --preset "$preset"
ls -l "build/$preset"/orbiculon_*.deb
print_stage_timings
