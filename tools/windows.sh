#!/usr/bin/env bash
# The Windows build: cross-compiles Orbiculon.dll, the batch tool (CerevantRZ.exe and
# its launcher orbiculon.exe) and the test programs with MinGW-w64, runs every test
# under Wine and packs the two ZIPs: the plug-in, which users unpack into the host's
# plug-in folder, and the tools, which hold the orbiculon command.
#
#   tools/windows.sh            preset mingw-x64
#   tools/windows.sh --werror   preset ci-mingw-x64: warnings are errors
#                               (the default when CI=true)
#
# Debian packages it needs (tools/deps.sh --windows, installed when missing and run
# as root): the MinGW-w64 C and C++ compilers with the posix thread model, wine64,
# GoogleTest's sources (compiled for Windows here) and CLI11.
# The Wine prefix lives in the build folder and is created once per build folder;
# the Wine server started for the tests is ended when the script ends.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
source tools/stages.sh

read_werror_option 15 "$@"
preset=mingw-x64
$werror && preset=ci-mingw-x64
build_dir=$root/build/$preset
prefix=$build_dir/wine-prefix

# Debian's wine64 puts its loader outside PATH.
find_wine() {
  local candidate
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [[ -n "$candidate" && -x "$candidate" ]]; then
      echo "$candidate"
      return 0
    fi
  done
  echo "windows: no Wine loader found" >&2
  return 1
}

# Creates the build folder's Wine prefix (once) and checks that a Windows console
# program runs in it.
prepare_wine() {
  local wine
  wine=$(find_wine)
  mkdir -p "$build_dir"
  local probe=$build_dir/wine-probe
  mkdir -p "$probe"
  printf '#include <stdio.h>\nint main(void) { puts("wine runs Windows programs"); return 0; }\n' >"$probe/probe.c"
  x86_64-w64-mingw32-gcc-posix -o "$probe/probe.exe" "$probe/probe.c"
  sh cmake/wine-run.sh "$wine" "$prefix" "$probe/probe.exe"
}

stop_wine() {
  local wine
  wine=$(find_wine 2>/dev/null) || return 0
  [[ -d "$prefix" ]] || return 0
  WINEPREFIX=$prefix "$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
}
trap stop_wine EXIT

stage "windows: dependencies" tools/deps.sh --windows
stage "windows: wine prefix" prepare_wine
stage "windows: configure" cmake --preset "$preset"
stage "windows: build" cmake --build --preset "$preset"
stage "windows: test (wine)" ctest --preset "$preset"
stage "windows: package" cpack --preset "$preset"
ls -l "$build_dir"/Orbiculon-*.zip
print_stage_timings
