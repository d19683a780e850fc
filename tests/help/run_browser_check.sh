#!/usr/bin/env bash
# Checks the help page in headless Chromium (Debian's chromium package, which
# tools/deps.sh --browser installs).
# Usage: run_browser_check.sh PAGE.html SCREENSHOT.png [CERVANT_EXE WORK_DIR]
# Exit 77 (skipped) when Node.js or Chromium is missing.
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
  echo "SKIPPED: chromium is not installed (tools/deps.sh --browser installs it)"
  exit 77
fi
exec node "$here/check_help_page.js" "$page" "$screenshot" "$chromium_bin" "${@:3}"
