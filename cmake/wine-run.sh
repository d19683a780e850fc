#!/bin/sh
# wine-run.sh WINE PREFIX PROGRAM [ARGS...]
# Runs a Windows program under Wine in the given prefix (the emulator of the cross
# build: CTest runs every test program through it).
# - The prefix is created on first use. Several tests may start at once (ctest -j):
#   the first creates it under a lock while the others wait.
# - A test run starts hundreds of short programs. Wine's server and its system
#   processes take a second or more to start, so one server is kept for the prefix
#   until a minute after the last program ended; it then ends by itself. The system
#   processes are started by a first program whose output goes nowhere: they live as
#   long as the server and would otherwise hold the caller's output pipe open (CTest
#   waits for that pipe to close).
# - Wine's own diagnostics stay off unless the caller sets WINEDEBUG.
set -e
wine=$1
prefix=$2
shift 2

WINEPREFIX=$prefix
WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX WINEDEBUG
server=$(dirname "$wine")/wineserver
linger_seconds=60

mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
    # wineboot returns before the registry is on disk; the server writes it when it
    # ends.
    "$server" --wait >/dev/null 2>&1 9>&- || true
  fi
  # Fails at once when a server already serves the prefix. Nothing started here
  # inherits the lock (9>&-), or it would hold it for its whole life.
  if "$server" -p"$linger_seconds" </dev/null >/dev/null 2>&1 9>&-; then
    "$wine" cmd.exe /c exit </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"

exec "$wine" "$@"
