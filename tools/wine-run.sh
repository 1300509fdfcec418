#!/bin/sh
# Runs a Windows program of the windows build under Wine: wine-run.sh PROGRAM.exe [ARGUMENT...]
# Wine keeps its own files in a private prefix inside the build folder (the folder above the program that
# holds CMakeCache.txt; LFQ_WINEPREFIX overrides it), so nothing of the user's ~/.wine is touched. The MinGW
# runtime folders are on WINEPATH for a program that was linked against the runtime DLLs.
#
# wine-run.sh --start / --stop start and stop the Wine server of that prefix (run before and after the
# tests, so that no test waits for Wine to set up or for the server to linger).
set -e

find_build_dir() {
  dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd) || dir=$(pwd)
  while [ "$dir" != "/" ]; do
    if [ -f "$dir/CMakeCache.txt" ]; then echo "$dir"; return; fi
    dir=$(dirname "$dir")
  done
  pwd
}

case "$1" in
  --start|--stop) action=$1; shift; anchor=${1:-$(pwd)/.} ;;
  *) action=run; anchor=$1 ;;
esac
if [ -z "$anchor" ]; then
  echo "usage: wine-run.sh PROGRAM.exe [ARGUMENT...] | --start [BUILD_DIR] | --stop [BUILD_DIR]" >&2
  exit 2
fi
if [ -d "$anchor" ]; then anchor="$anchor/."; fi

WINEPREFIX=${LFQ_WINEPREFIX:-$(find_build_dir "$anchor")/wine}
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
runtime=""
for folder in /usr/lib/gcc/x86_64-w64-mingw32/*-posix /usr/x86_64-w64-mingw32/lib; do
  if [ -d "$folder" ]; then runtime="$runtime${runtime:+;}$(echo "$folder" | sed 's|^|Z:|; s|/|\\|g')"; fi
done
WINEPATH=$runtime
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINEPATH
mkdir -p "$WINEPREFIX"

wine=wine
for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)"; do
  if [ -n "$candidate" ] && [ -x "$candidate" ]; then wine=$candidate; break; fi
done

# The server and Wine's own system programs are started on their own, detached from our output streams: had
# the program started them, they would inherit its streams and keep whoever reads them (ctest, a test's
# discovery) waiting until they end. A lock keeps two programs started at once from both setting up.
# $1: how long the server outlives its last program ("" for ever).
start_wine() {
  (
    flock 9
    if wineserver -p"$1" </dev/null >/dev/null 2>&1 9>&-; then
      "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
    fi
  ) 9>"$WINEPREFIX/.lfq-start.lock"
}

case "$action" in
  --start)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    start_wine ""
    ;;
  --stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  run)
    # Outside ctest's fixture (a test's discovery, a manual run) the server lingers a minute after its last
    # program.
    start_wine 60
    exec "$wine" "$@"
    ;;
esac
