#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each of them, one after the other, for a
# given time. Fails (exit 1) when any target finds a crash, a sanitizer report, a
# broken invariant, a timeout or an out-of-memory input; the inputs are then left in
# <build>/findings/<target>/ (copy them into fuzz/regressions/<target>/ once the
# fault is fixed, so the test suite replays them).
#
#   tools/fuzz.sh [--time SECONDS] [--build DIR] [TARGET...]
#
#   --time    seconds per target (default 60)
#   --build   build folder (default build-fuzz; configured with the "fuzz" preset)
#   TARGET    clean parse textfile sphere dispatcher (default: all)
#
# Each target keeps a working corpus in <build>/corpus/<target>/, which grows from
# run to run; it starts from the seeds in fuzz/corpus/<target>/, the regression
# inputs and, for the list targets, the coordinate lists in examples/. Runs use the
# dictionaries in fuzz/dict/, a per-input timeout and a malloc limit: no input may
# allocate more than 512 MB at once, so a refused giant sphere that still allocated
# its size would be reported.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=60
build="$root/build-fuzz"
targets=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --time) seconds=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n '2,21p' "$0"; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
[[ ${#targets[@]} -gt 0 ]] || targets=(clean parse textfile sphere dispatcher)

# The compiler and its runtime (libFuzzer and the sanitizers) come from Debian.
fuzzer_runtime() { clang++-14 -print-file-name=libclang_rt.fuzzer-x86_64.a 2>/dev/null || true; }
"$root/tools/deps.sh" --fuzz || exit 2
if ! command -v clang++-14 >/dev/null || [[ ! -f "$(fuzzer_runtime)" ]]; then
  echo "fuzz.sh: clang++-14 with libFuzzer is needed (Debian: apt-get install clang-14 libclang-rt-14-dev)" >&2
  exit 2
fi

mkdir -p "$build"
build=$(cd "$build" && pwd) # absolute: each target runs from its findings folder
(cd "$root" && cmake --preset fuzz -B "$build" >/dev/null)
fuzzers=()
for target in "${targets[@]}"; do fuzzers+=("${target}_fuzzer"); done
cmake --build "$build" -j2 --target "${fuzzers[@]}"

# Coordinate lists of the examples, in the input layout of each list target.
seed_examples() {
  local target=$1 out=$2 prefix
  case $target in
    clean) prefix='\x00' ;;
    parse) prefix='\x00\x00\x00\x00\xff\x00' ;;
    textfile) prefix='\x04' ;;
    *) return 0 ;;
  esac
  mkdir -p "$out"
  local file
  for file in "$root"/examples/*.txt "$root"/examples/*.csv "$root"/examples/*.tsv; do
    [[ -f $file ]] || continue
    { printf '%b' "$prefix"; cat "$file"; } > "$out/example-$(basename "$file")"
  done
}

max_len() {
  case $1 in
    sphere) echo 32 ;;
    parse) echo 4096 ;;
    *) echo 8192 ;;
  esac
}

failed=()
summary=()
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  findings="$build/findings/$target"
  extra="$build/examples/$target"
  log="$build/logs/$target.log"
  mkdir -p "$work" "$findings" "$build/logs"
  rm -rf "$extra"
  seed_examples "$target" "$extra"

  dict=()
  case $target in
    clean|parse|textfile) dict=(-dict="$root/fuzz/dict/coordinates.dict") ;;
    dispatcher)
      cat "$root/fuzz/dict/coordinates.dict" "$root/fuzz/dict/dispatcher.dict" > "$build/dispatcher.dict"
      dict=(-dict="$build/dispatcher.dict") ;;
  esac
  corpora=("$work" "$root/fuzz/corpus/$target")
  [[ -d "$root/fuzz/regressions/$target" ]] && corpora+=("$root/fuzz/regressions/$target")
  [[ -d "$extra" ]] && corpora+=("$extra")

  echo "fuzz.sh: $target for ${seconds}s"
  status=0
  (cd "$findings" && "$build/fuzzers/${target}_fuzzer" "${corpora[@]}" "${dict[@]}" \
      -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=60 \
      -rss_limit_mb=2048 -malloc_limit_mb=512 -use_value_profile=1 -print_final_stats=1 \
      -artifact_prefix="$findings/" > "$log" 2>&1) || status=$?

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  corpus=$(find "$work" -type f | wc -l)
  if [[ $status -ne 0 ]]; then
    failed+=("$target")
    echo "fuzz.sh: $target FAILED (exit $status); log: $log"
    grep -E 'invariant broken|ERROR: |SUMMARY: |Test unit written' "$log" | head -20 || true
  fi
  summary+=("$(printf '%-11s %12s executions  corpus %6s  %s' "$target" "${runs:-0}" "$corpus" \
                "$([[ $status -eq 0 ]] && echo 'no finding' || echo FINDING)")")
done

echo
echo "fuzz.sh: ${seconds}s per target"
printf '  %s\n' "${summary[@]}"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz.sh: findings in: ${failed[*]} (inputs in $build/findings/)" >&2
  exit 1
fi
