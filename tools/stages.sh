# shellcheck shell=bash
# Sourced by tools/test.sh, tools/windows.sh and .ci/run: runs named stages and reports
# how long each took. A failing stage ends the script with its exit code, after the
# report.

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

# read_werror_option HELP_LAST_LINE ARGS...: sets `werror` (true with --werror, and by
# default when CI=true); --help prints the calling script's comment lines 2 to
# HELP_LAST_LINE; anything else is a usage error (exit 2).
read_werror_option() {
  local help_last=$1 script
  shift
  script=$(basename "$0")
  werror=false
  [[ "${CI:-}" == "true" ]] && werror=true
  for argument in "$@"; do
    case "$argument" in
    --werror) werror=true ;;
    -h | --help)
      sed -n "2,${help_last}s/^# \\{0,1\\}//p" "$0"
      exit 0
      ;;
    *)
      echo "$script: unknown option '$argument' (try --help)" >&2
      exit 2
      ;;
    esac
  done
}
