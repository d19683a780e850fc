#!/usr/bin/env bash
# Builds the .deb of a build folder into a temporary folder and checks it: its name,
# the files it installs, the dependencies it declares, and that the unpacked command
# runs and names its version.
# Usage: check_deb.sh BUILD_DIR VERSION
# Exit 77 (skipped) when dpkg-deb is missing (not a Debian system).
set -euo pipefail
build=$1
version=$2
command -v dpkg-deb >/dev/null 2>&1 || {
  echo "SKIPPED: dpkg-deb is not installed"
  exit 77
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check_deb: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log") || {
  cat "$work/cpack.log" >&2
  fail "cpack -G DEB failed"
}
deb=$work/orbiculon_${version}_amd64.deb
[[ -f "$deb" ]] || fail "no $(basename "$deb") in: $(ls "$work")"

contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in ./usr/bin/orbiculon ./usr/lib/orbiculon/CerevantRZ.exe ./usr/lib/orbiculon/Orbiculon.so \
  ./usr/lib/orbiculon/Orbiculon.js ./usr/lib/orbiculon/HelpFolder/index.html \
  ./usr/share/man/man1/orbiculon.1 ./usr/share/bash-completion/completions/orbiculon \
  ./usr/share/doc/orbiculon/index.html ./usr/share/doc/orbiculon/examples/clean_list.txt; do
  grep -qx "$path" <<<"$contents" || fail "$path is not in the package"
done
# Only the command is on PATH.
[[ $(grep -c '^\./usr/bin/.' <<<"$contents") -eq 1 ]] || fail "more than the command in /usr/bin"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libstdc++6; do
  [[ ", $depends" == *", $package "* ]] || fail "Depends: $depends lacks $package"
done

dpkg-deb -x "$deb" "$work/root"
output=$("$work/root/usr/bin/orbiculon" --version)
[[ "$output" == "orbiculon $version" ]] || fail "the unpacked command printed: $output"
echo "check_deb: $(basename "$deb") holds the command, its files and Depends: $depends"
