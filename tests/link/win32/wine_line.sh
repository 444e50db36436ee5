#!/usr/bin/env bash
# Runs the Windows line test against a real line: socat joins two
# pseudo-terminals, which become COM ports of the build's Wine prefix, and
# the port is entered in the prefix's SERIALCOMM map as a driver would.
#
#   wine_line.sh WINE_RUN PREFIX PROGRAM.exe PORT METER [GTEST ARGUMENTS...]
#
# PORT and METER are COM numbers. When the program leaves a file named
# hang-up in the scratch folder, socat is ended (the far end goes away) and
# started anew with the same names; the file is removed once the line is back.
set -euo pipefail

wine_run=$1
prefix=$2
program=$3
port=$4
meter=$5
shift 5
command -v socat >/dev/null || { echo "$0: socat is missing (scripts/windows.sh installs it)" >&2; exit 1; }
export WINEPREFIX=${WINEPREFIX:-$prefix}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvana-wine-line.XXXXXX")
map='HKLM\HARDWARE\DEVICEMAP\SERIALCOMM'
value="\\Device\\OrvanaLine$port"
keeper=""
cleanup() {
  if [ -n "$keeper" ]; then
    kill "$keeper" 2>/dev/null || true
    wait "$keeper" 2>/dev/null || true
  fi
  rm -f "$WINEPREFIX/dosdevices/com$port" "$WINEPREFIX/dosdevices/com$meter"
  "$wine_run" reg delete "$map" /v "$value" /f >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT

# Keeps the line up: socat runs until a hang-up is asked for, then again.
keep_line() {
  local socat=""
  trap '[ -n "$socat" ] && kill "$socat" 2>/dev/null; exit 0' TERM
  while true; do
    socat pty,raw,echo=0,link="$scratch/port" pty,raw,echo=0,link="$scratch/meter" \
      </dev/null >/dev/null 2>&1 &
    socat=$!
    while [ ! -e "$scratch/port" ] || [ ! -e "$scratch/meter" ]; do sleep 0.02; done
    rm -f "$scratch/hang-up"
    while [ ! -e "$scratch/hang-up" ]; do sleep 0.02; done
    kill "$socat"
    wait "$socat" || true
    socat=""
    # socat's links go with it; the next socat makes them anew.
    rm -f "$scratch/port" "$scratch/meter"
  done
}

# Through wine-run.sh: the first call of a build makes its prefix.
"$wine_run" reg add "$map" /v "$value" /t REG_SZ /d "COM$port" /f >/dev/null
ln -sfn "$scratch/port" "$WINEPREFIX/dosdevices/com$port"
ln -sfn "$scratch/meter" "$WINEPREFIX/dosdevices/com$meter"
touch "$scratch/hang-up"
keep_line &
keeper=$!
for _ in $(seq 250); do
  [ -e "$scratch/hang-up" ] || break
  sleep 0.02
done
if [ -e "$scratch/hang-up" ]; then
  echo "$0: socat did not make the line" >&2
  exit 1
fi

export ORVANA_LINE_PORT="COM$port" ORVANA_LINE_METER="COM$meter"
export ORVANA_LINE_HANGUP="Z:${scratch//\//\\}\\hang-up"
"$wine_run" "$program" "$@"
