#!/usr/bin/env bash
# Makes sure the Debian packages of the chosen sets are installed: the one place that
# installs packages. As root it installs what is missing with apt-get; otherwise it
# prints the one command that installs it and fails.
#
#   tools/deps.sh [SET...]          check the sets, install when root
#   tools/deps.sh --list [SET...]   print the sets' package names and exit
#
# Sets (default: --build):
#   --build      the build, the unit and end-to-end tests and the format check
#   --browser    Chromium for the help page test; optional: without root, a missing
#                browser is only reported (the test is then skipped)
#   --windows    the MinGW-w64 cross build and Wine (tools/windows.sh)
#   --fuzz       clang-14 with libFuzzer and the sanitizers (tools/fuzz.sh)
#   --valgrind   valgrind (tools/valgrind-e2e.sh)
set -euo pipefail

build_packages=(
  build-essential  # g++, make, binutils (nm for the symbol checks)
  cmake            # 3.25 or later, with CTest
  g++
  libgtest-dev     # unit tests
  libgmock-dev
  googletest
  libbenchmark-dev # benchmarks
  libcli11-dev     # the stand-in host's command line
  libnifti2-dev    # NIfTI images of the VOIs (export/)
  zlib1g-dev       # .nii.gz
  python3-nibabel  # reads the NIfTI images back in the end-to-end tests
  clang-format     # the format check
  nodejs           # the dialog script and help page tests
  locales          # the locale data localedef needs (de_DE.UTF-8 below)
  help2man         # the man page of orbiculon, made from its --help
  dpkg-dev         # dpkg-shlibdeps: the dependencies of the .deb (cpack -G DEB)
  bash             # the completion test sources the completion file
  libpng-dev       # the PNG projections of the batch tool's pictures
)
browser_packages=(chromium)
windows_packages=(
  cmake
  g++-mingw-w64-x86-64-posix
  gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 # objdump for the import and export checks
  wine64                    # 64-bit Wine only, no i386 architecture
  googletest                # GoogleTest's sources, compiled for Windows
  libcli11-dev
)
fuzz_packages=(clang-14 libclang-rt-14-dev)
valgrind_packages=(valgrind)

list=false
sets=()
for argument in "$@"; do
  case "$argument" in
  --list) list=true ;;
  --build | --browser | --windows | --fuzz | --valgrind) sets+=("${argument#--}") ;;
  -h | --help)
    sed -n '2,15s/^# \{0,1\}//p' "$0"
    exit 0
    ;;
  *)
    echo "deps: unknown option '$argument' (try --help)" >&2
    exit 2
    ;;
  esac
done
((${#sets[@]} > 0)) || sets=(build)

packages=()
optional=()
for set in "${sets[@]}"; do
  declare -n members="${set}_packages"
  if [[ "$set" == browser ]]; then
    optional+=("${members[@]}")
  else
    packages+=("${members[@]}")
  fi
  unset -n members
done

if $list; then
  printf '%s\n' "${packages[@]}" "${optional[@]}" | awk '!seen[$0]++'
  exit 0
fi

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "deps: this is not a Debian system; install the equivalents of: ${packages[*]} ${optional[*]}" >&2
  exit 1
fi

# With the build set, a locale with a decimal comma for the tests that check numbers
# ignore the locale: generated as root, else the command is printed (and it fails).
german_locale() {
  [[ " ${sets[*]} " == *" build "* ]] || return 0
  locale -a 2>/dev/null | grep -ix 'de_DE\.utf-\?8' >/dev/null && return 0
  if [[ $(id -u) -eq 0 ]]; then
    echo "deps: generating the locale de_DE.UTF-8"
    localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
  else
    echo "deps: the locale de_DE.UTF-8 is missing. Generate it with:" >&2
    echo "  sudo localedef -i de_DE -c -f UTF-8 de_DE.UTF-8" >&2
    return 1
  fi
}

not_installed() {
  local package status
  for package in "$@"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || echo "$package"
  done | awk '!seen[$0]++'
}
mapfile -t missing < <(not_installed "${packages[@]}")
mapfile -t missing_optional < <(not_installed "${optional[@]}")

if [[ $(id -u) -ne 0 ]]; then
  if ((${#missing_optional[@]} > 0)); then
    echo "deps: not installed (the tests that need them are skipped): ${missing_optional[*]}" >&2
    echo "  sudo apt-get install --no-install-recommends ${missing_optional[*]}" >&2
  fi
  if ((${#missing[@]} > 0)); then
    echo "deps: missing packages. Install them with:" >&2
    echo "  sudo apt-get install --no-install-recommends ${missing[*]}" >&2
    german_locale || true
    exit 1
  fi
  german_locale
  exit $?
fi

missing+=("${missing_optional[@]}")
if ((${#missing[@]} == 0)); then
  german_locale
  exit $?
fi
echo "deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
german_locale
