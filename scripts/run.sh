#!/usr/bin/env bash
# Runs Orvana against the simulated instrument. For now this is the headless
# station: orvana-sim plays the meter on a pseudo-terminal, orvana-cli listens
# to it in a scratch working folder and prints every message, value and table
# row as JSON lines, while the daily log grows beside it.
#
#   ORVANA_LANG=zh_CN  use the Chinese language file (default: en)
#   ORVANA_SECONDS=N   stop after N seconds (default: run until Ctrl-C)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/deps.sh
cmake -S "$root" -B build -G Ninja -DORVANA_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVANA_BENCH=ON >/dev/null
cmake --build build -j "$(nproc)" --target orvana-cli orvana-sim

work=$(mktemp -d "${TMPDIR:-/tmp}/orvana-demo.XXXXXX")
cp "lang/${ORVANA_LANG:-en}/language.ini" "$work/language.ini"
mkdir -p "$work/Savetemp"

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
