# shellcheck shell=bash
# Sourced by tools/test.sh and .ci/run: runs named stages and reports how long each
# took. A failing stage ends the script with its exit code, after the report.

stage_timings=()

# stage NAME COMMAND [ARGS...]
stage() {
  local name=$1
  shift
  local start=$SECONDS status=0
  echo "==> $name"
  "$@" || status=$?
  local mark=""
  ((status == 0)) || mark="  FAILED (exit $status)"
  stage_timings+=("$(printf '  %-32s %5ds%s' "$name" $((SECONDS - start)) "$mark")")
  if ((status != 0)); then
    print_stage_timings
    exit "$status"
  fi
}

print_stage_timings() {
  echo "Stage timings:"
  printf '%s\n' "${stage_timings[@]}"
}
