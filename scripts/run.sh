#!/usr/bin/env bash
# Runs Orvana against the simulated instrument, in a scratch working folder
# (its language.ini and Savetemp/ with the day's log). With a display it is
# the window, `orvana --demo`: the simulated meter is listed first and
# selected, press connect. Without one it is the headless station:
# orvana-sim plays the meter on a pseudo-terminal and orvana-cli listens to it,
# printing every message, value and table row as JSON lines while the daily
# log grows beside it. For the window it also installs LibreOffice Calc, with
# its window, so that the exported report opens.
#
#   ORVANA_LANG=en|zh_CN  the language file (default: zh_CN for the window,
#                         en for the headless station)
#   ORVANA_SECONDS=N      stop after N seconds (default: run until closed or Ctrl-C)
#   ORVANA_HEADLESS=1     the headless station even when there is a display
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

window=""
if [ -z "${ORVANA_HEADLESS:-}" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  window=1
fi

bash scripts/deps.sh ${window:+--run}
cmake -S "$root" -B build -G Ninja -DORVANA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVANA_BENCH=ON >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/orvana-demo.XXXXXX")
mkdir -p "$work/Savetemp"

if [ -n "$window" ]; then
  cmake --build build -j "$(nproc)" --target orvana orvana-sim
  cp "lang/${ORVANA_LANG:-zh_CN}/language.ini" "$work/language.ini"
  echo "Orvana with the simulated meter; working folder $work"
  cd "$work"
  if [ -n "${ORVANA_SECONDS:-}" ]; then
    exec timeout --signal=TERM "$ORVANA_SECONDS" "$root/build/src/orvana" --demo
  fi
  exec "$root/build/src/orvana" --demo
fi

cmake --build build -j "$(nproc)" --target orvana-cli orvana-sim
cp "lang/${ORVANA_LANG:-en}/language.ini" "$work/language.ini"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  echo
  echo "The day's log is in $work/Savetemp:"
  ls -l "$work/Savetemp"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

# The simulator prints its port as its first line.
coproc SIM { exec "$root/build/tools/sim/orvana-sim" --demo; }
pids+=("$SIM_PID")
read -r port <&"${SIM[0]}"
echo "Simulated meter on $port; working folder $work"
echo "Press Ctrl-C to stop."
echo

# The log as it grows, marked so it stands apart from the station's output.
tail -F -n +1 "$work/Savetemp/$(date +%Y%m%d).txt" 2>/dev/null > >(sed -u 's/^/    log| /') &
pids+=("$!")

args=(listen "$port" --upload)
[ -n "${ORVANA_SECONDS:-}" ] && args+=(--seconds "$ORVANA_SECONDS")
(cd "$work" && "$root/build/src/cli/orvana-cli" "${args[@]}")
