#!/usr/bin/env bash
# Runs the end-to-end tests under valgrind's memcheck: every test executable that
# runs the stand-in host process (e2e_*_test, *_e2e_test), with valgrind following
# into each host process and so into the plug-in module it loads. Fails when a test
# fails or valgrind reports any error (invalid reads or writes, uses of
# uninitialised values, bad frees, definite leaks) in any of those processes.
#
#   tools/valgrind-e2e.sh [--build DIR]     (default build-valgrind)
#
# A folder that is not configured yet is configured as an ordinary optimised build
# with debug information; an existing one (CI passes its release build) is used as
# it is and only the end-to-end tests are brought up to date. Valgrind needs no
# instrumented code, and must not be given a sanitizer build. Valgrind exits with 1 on an
# error (--error-exitcode=1); since a host run may legitimately end with 1 (a refused
# plug-in), every process also writes its own valgrind log, and any log with errors
# fails the stage whatever the exit codes said.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-valgrind"
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
    *) echo "valgrind-e2e.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done

"$root/tools/deps.sh" --valgrind || exit 2

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBICULON_BUILD_BENCH=OFF >/dev/null
elif grep -q -- '-fsanitize' "$build/CMakeCache.txt"; then
  echo "valgrind-e2e.sh: $build is a sanitizer build; valgrind cannot run it" >&2
  exit 2
fi
mapfile -t targets < <(cmake --build "$build" --target help | sed -n 's/^\.\.\. \(\(e2e_\w*_test\)\|\(\w*_e2e_test\)\)$/\1/p' | sort -u)
if [[ ${#targets[@]} -eq 0 ]]; then
  echo "valgrind-e2e.sh: no end-to-end test executables found" >&2
  exit 2
fi
cmake --build "$build" -j2 --target "${targets[@]}"

# Absolute: every test runs from its own folder.
build=$(cd "$build" && pwd)
logs="$build/valgrind-logs"
rm -rf "$logs"
mkdir -p "$logs"
valgrind_options=(
  --tool=memcheck --error-exitcode=1 --trace-children=yes
  # System programs a test may start (nm, sh) are not ours to check.
  --trace-children-skip='/usr/*,/bin/*,/sbin/*'
  --leak-check=full --errors-for-leak-kinds=definite --show-leak-kinds=definite
  --track-origins=yes --num-callers=30
  --suppressions="$root/tools/valgrind-e2e.supp"
  --log-file="$logs/%q{VALGRIND_TEST}.%p.log"
)

failed=()
for target in "${targets[@]}"; do
  exe=$(find "$build/tests" -type f -executable -name "$target" | head -1)
  [[ -n $exe ]] || { echo "valgrind-e2e.sh: $target was not built" >&2; failed+=("$target"); continue; }
  folder=$(basename "$(dirname "$exe")")
  echo "valgrind-e2e.sh: $target"
  start=$(date +%s)
  if ! (cd "$(dirname "$exe")" && VALGRIND_TEST=$target ORBICULON_TEST_DATA="$root/tests/$folder/data" \
        valgrind "${valgrind_options[@]}" "$exe" --gtest_brief=1 > "$logs/$target.out" 2>&1); then
    failed+=("$target")
    tail -30 "$logs/$target.out"
  fi
  echo "valgrind-e2e.sh: $target took $(( $(date +%s) - start ))s"
done

# Every process of every test, the host runs included.
mapfile -t bad < <(grep -l -E 'ERROR SUMMARY: [1-9]' "$logs"/*.log || true)
processes=$(grep -l "ERROR SUMMARY" "$logs"/*.log | wc -l)
if [[ ${#bad[@]} -gt 0 ]]; then
  for log in "${bad[@]}"; do
    echo "==== $log"
    grep -v '^==[0-9]*== *$' "$log" | head -60
  done
  failed+=("memcheck errors in ${#bad[@]} of $processes processes")
fi

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "valgrind-e2e.sh: FAILED: ${failed[*]}" >&2
  exit 1
fi
hosts=$(grep -l -E '^==[0-9]+== Command: .*/(CerevantRZ|Cerevant|OtherHost)\.exe' "$logs"/*.log | wc -l)
echo "valgrind-e2e.sh: ${#targets[@]} test programs, $processes processes under memcheck ($hosts host runs), no error"
