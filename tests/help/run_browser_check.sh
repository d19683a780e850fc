#!/usr/bin/env bash
# Checks the help page in headless Chromium (Debian's chromium package, installed
# here with apt-get when it is missing and this runs as root).
# Usage: run_browser_check.sh PAGE.html SCREENSHOT.png
# Exit 77 (skipped) when Node.js is missing, or Chromium is missing and cannot be
# installed.
set -u
page=$1
screenshot=$2
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v node >/dev/null 2>&1; then
  echo "SKIPPED: node (Node.js) is not installed"
  exit 77
fi

find_chromium() {
  # The real binary, when present, avoids the launcher script's checks.
  for candidate in /usr/lib/chromium/chromium "$(command -v chromium 2>/dev/null)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

if ! chromium_bin=$(find_chromium); then
  if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "installing chromium with apt-get"
    log=$(mktemp)
    if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq chromium; } >"$log" 2>&1; then
      tail -n 20 "$log"
      rm -f "$log"
      echo "not ok - apt-get could not install chromium"
      exit 1
    fi
    rm -f "$log"
  fi
  if ! chromium_bin=$(find_chromium); then
    echo "SKIPPED: chromium is not installed and cannot be installed here (needs root and apt-get)"
    exit 77
  fi
fi

exec node "$here/check_help_page.js" "$page" "$screenshot" "$chromium_bin"
