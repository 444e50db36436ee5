#!/usr/bin/env bash
# Runs a Windows program under Wine and exits with its exit status: the
# emulator through which ctest, gtest_discover_tests and custom commands run
# the cross-built .exe files.
#
#   wine-run.sh [--prefix FOLDER] PROGRAM.exe [ARGUMENTS...]
#
# The Wine prefix is $WINEPREFIX when set, else FOLDER (the build folder's
# default), never ~/.wine. It is made on first use. Its Wine server is kept
# running for a while after the last program ends, so that each of the many
# test runs costs a fraction of a second instead of a server start.
set -euo pipefail

default_prefix=""
if [ "${1:-}" = --prefix ]; then
  default_prefix=$2
  shift 2
fi
if [ $# -eq 0 ]; then
  echo "usage: $0 [--prefix FOLDER] PROGRAM.exe [ARGUMENTS...]" >&2
  exit 2
fi
if [ -z "${WINEPREFIX:-}" ]; then
  if [ -z "$default_prefix" ]; then
    echo "$0: set WINEPREFIX or give --prefix" >&2
    exit 2
  fi
  WINEPREFIX=$default_prefix
fi
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko installer offered while the prefix is made: console
# programs need neither, and there is nobody to answer.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# Nothing here opens a window; without a display Wine stays in the console.
unset DISPLAY WAYLAND_DISPLAY

wine=wine
command -v wine >/dev/null || wine=wine64
server=wineserver
command -v wineserver >/dev/null || server=/usr/lib/wine/wineserver64

# One program at a time makes the prefix or starts its server (ctest may run
# several at once). The server goes first: started after wineboot it would
# exit again. Whatever outlives the program (the server, and the services
# Wine starts beside the first program a server sees) must not hold the
# caller's stdout or stderr: whoever reads the program's output (ctest, test
# discovery) would wait for them to end. So the server and the services are
# started here, on /dev/null, with the server's stderr in a file (it dumps
# its objects there when a serial line's far end closes).
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX/.orvana-lock"
flock 9
if "$server" -p120 </dev/null >/dev/null 2>>"$WINEPREFIX/.orvana-server.log" 9>&-; then
  # A new server: make the prefix on first use, else just start its services.
  if [ -f "$WINEPREFIX/.orvana-ready" ]; then
    "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
  else
    "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
    touch "$WINEPREFIX/.orvana-ready"
  fi
fi
flock -u 9
exec 9>&-

exec "$wine" "$@"
