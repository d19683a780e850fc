#!/usr/bin/env bash
# Builds everything and runs every test, and checks that the sources are formatted.
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

werror=false
[[ "${CI:-}" == "true" ]] && werror=true
for argument in "$@"; do
  case "$argument" in
  --werror) werror=true ;;
  -h | --help)
    sed -n '2,9s/^# \{0,1\}//p' "$0"
    exit 0
    ;;
  *)
    echo "test.sh: unknown option '$argument' (try --help)" >&2
    exit 2
    ;;
  esac
done
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
print_stage_timings
