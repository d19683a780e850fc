#!/usr/bin/env bash
# Makes sure the Debian packages the build and the tests need are installed.
# As root it installs what is missing with apt-get; otherwise it prints the one
# command that installs it and fails.
#
#   tools/deps.sh            check, install when root
#   tools/deps.sh --list     print the package names and exit
set -euo pipefail

packages=(
  build-essential   # g++, make, binutils (nm for the symbol checks)
  cmake             # 3.25 or later, with CTest
  g++
  libgtest-dev      # unit tests
  libgmock-dev
  googletest
  libbenchmark-dev  # benchmarks
  libcli11-dev      # the stand-in host's command line
  clang-format      # the format check
  nodejs            # the dialog script and help page tests (the latter installs chromium itself)
  locales           # the locale data localedef needs
)

if [[ "${1:-}" == "--list" ]]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "deps: this is not a Debian system; install the equivalents of: ${packages[*]}" >&2
  exit 1
fi

# A locale with a decimal comma, for the tests that check numbers ignore the locale:
# generated as root, else the command that generates it is printed (and it fails).
german_locale() {
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

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  german_locale
  exit $?
fi

if [[ $(id -u) -eq 0 ]]; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
  german_locale
else
  echo "deps: missing packages. Install them with:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  german_locale || true
  exit 1
fi
