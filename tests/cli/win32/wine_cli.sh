#!/usr/bin/env bash
# orvana-cli.exe end to end, as a bench would have it: the zip unpacked into
# an empty folder of a new Wine prefix, the Linux simulator as the meter on a
# pseudo-terminal that the prefix sees as COM5 (a dosdevices link and the
# SERIALCOMM value a driver would write), and beside it the Linux orvana-cli
# against a second simulator fed the same commands at the same moments. The
# two programs must print the same JSON lines, end with the same statuses,
# and write the same day-log bytes (time stamps are the clock's and can
# differ by a second; they are compared as a shape) and the same workbook.
#
#   wine_cli.sh WINE_RUN ZIP LINUX_BUILD
set -euo pipefail

com=5
# shellcheck source=../../support/wine_bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../support/wine_bench.sh" "$@"

# Both meters get the same commands.
to_meters() {
  printf '%s\n' "$@" >&"$meter_in_linux"
  printf '%s\n' "$@" >&"$meter_in_windows"
}
close_meters() {
  exec {meter_in_linux}>&- {meter_in_windows}>&-
}

echo "== ports"
"$wine_run" "$exe" ports >"$scratch/ports" || fail "ports exited with $?"
grep -qx "COM$com"$'\t\\\\Device\\\\OrvanaMeter' "$scratch/ports" || { cat "$scratch/ports"; fail "ports does not list COM$com"; }

wait_status() {
  for _ in $(seq 600); do
    [ -s "$scratch/linux.status" ] && [ -s "$scratch/windows.status" ] && return 0
    sleep 0.1
  done
  fail "a run did not end"
}
# Time stamps are the clock's: the same shape, any value. So is the
# workbook's time of export, a date-time number beside its title.
masked() {
  sed -E -e 's/[0-9]{2}:[0-9]{2}:[0-9]{2}/hh:mm:ss/g' \
    -e 's|(Exported</t></is></c><c r="B[0-9]+" s="[0-9]+"><v>)[0-9.]+|\1exported|' "$1"
}
same() { # WHAT LINUX-FILE WINDOWS-FILE
  if ! cmp -s <(masked "$2") <(masked "$3"); then
    diff <(masked "$2") <(masked "$3") >&2 || true
    fail "$1 differs between Linux and Windows"
  fi
}

echo "== listen --upload --erase: the meter's records, results, a hang-up"
start_meter linux
start_meter windows
to_meters "store-record 26 12 9 10 30" "store-event 1 120 0.5 -45.0 0.2 2" \
  "store-event 2 2400 0.3 -50.5 0.8 1" "store-record 26 12 9 11 5" "store-event 1 300 0.1 -40.0 0.1 2"
run linux listen "$scratch/meter-linux" --upload --erase --seconds 60
run windows listen COM$com --upload --erase --seconds 60
for side in linux windows; do wait_for "$scratch/$side.json" '"Meter connected"'; done
for side in linux windows; do wait_for "$scratch/$side.json" 'erased its stored records'; done
to_meters "result dual -0.21 56.3 -0.35 54.0 record" "result single 5 56.0 nan record" \
  "result dual -0.25 57.0 -0.28 56.5 show" "garbage 40" "split 3" "result dual -0.1 60.5 -inf 58.25 record" \
  "split 0" "result dual -0.301 54.99 -0.3 55.0 record" "wait 300" "hangup"
close_meters
wait_status
for side in linux windows; do
  [ "$(cat "$scratch/$side.status")" = 3 ] || fail "$side ended with $(cat "$scratch/$side.status"), not 3 (the line lost)"
done
[ "$(grep -c '"row":' "$scratch/windows.json")" -ge 9 ] || fail "not every result became a row"
same "the JSON output" "$scratch/linux.json" "$scratch/windows.json"
logs=$(cd "$scratch/linux/Savetemp" && ls)
[ "$logs" = "$(cd "$scratch/windows/Savetemp" && ls)" ] || fail "Savetemp holds other files: $logs"
for log in $logs; do
  same "Savetemp/$log" "$scratch/linux/Savetemp/$log" "$scratch/windows/Savetemp/$log"
done
echo "   same JSON lines, status 3, and the same bytes in Savetemp: $logs"

echo "== listen --reconnect: the meter vanishes and comes back; Ctrl-C ends the run"
rm -rf "$scratch"/linux/Savetemp "$scratch"/windows/Savetemp
start_meter linux
start_meter windows
run linux listen "$scratch/meter-linux" --reconnect --seconds 120
run windows listen COM$com --reconnect --seconds 120
for side in linux windows; do wait_for "$scratch/$side.json" '"Meter connected"'; done
to_meters "result dual -0.2 56.0 -0.2 56.0 record" "wait 200" "hangup"
close_meters
for side in linux windows; do wait_for "$scratch/$side.json" '"link":"lost"'; done
start_meter linux
start_meter windows
for side in linux windows; do wait_for "$scratch/$side.json" '"Meter connected"' 2; done
to_meters "result dual -0.4 50.0 -0.1 61.0 record" "result single 0 55.5 -0.31 record"
for side in linux windows; do wait_for "$scratch/$side.json" '"row":2'; done
# Ctrl-C: Wine hands a SIGINT to the console's control handlers as a
# CTRL_C_EVENT, as a console does when the keys are pressed.
pkill -INT -f -- "$linux_cli listen" || fail "no Linux orvana-cli to stop"
pkill -INT -f -- "orvana-cli.exe listen COM$com" || fail "no orvana-cli.exe to stop"
wait_status
for side in linux windows; do
  [ "$(cat "$scratch/$side.status")" = 0 ] || fail "$side ended with $(cat "$scratch/$side.status") after Ctrl-C, not 0"
done
grep -q '"link":"restored"' "$scratch/windows.json" || fail "the link was not told restored"
same "the JSON output" "$scratch/linux.json" "$scratch/windows.json"
same "the day log" "$scratch/linux/Savetemp/$(date +%Y%m%d).txt" "$scratch/windows/Savetemp/$(date +%Y%m%d).txt"
[ "$(wc -l <"$scratch/windows/Savetemp/$(date +%Y%m%d).txt")" = 3 ] || fail "the day log lacks a result"
echo "   reconnected, ended by Ctrl-C with 0, the same output and the same day log"

echo "== listen --serials-from-stdin --text: a scanner's serials, read beside the line"
rm -rf "$scratch"/linux/Savetemp "$scratch"/windows/Savetemp
start_meter linux
start_meter windows
# Open for writing and reading here first, so that the runs' opens of the
# FIFOs do not wait for a writer; closed, they end the runs' input.
for side in linux windows; do
  rm -f "$scratch/scan-$side"
  mkfifo "$scratch/scan-$side"
  eval "exec {scan_$side}<>\"\$scratch/scan-$side\""
done
to_scanners() {
  printf '%s\n' "$@" >&"$scan_linux"
  printf '%s\n' "$@" >&"$scan_windows"
}
# As run does, with the side's FIFO as standard input.
run_scanned() { run_stdin="$scratch/scan-$1" run "$@"; }
run_scanned linux listen "$scratch/meter-linux" --serials-from-stdin --text --order 4711 --seconds 120
run_scanned windows listen COM$com --serials-from-stdin --text --order 4711 --seconds 120
for side in linux windows; do wait_for "$scratch/$side.json" '^\[OTDR\] Meter connected$'; done
to_scanners "SN-1"
for side in linux windows; do wait_for "$scratch/$side.json" '^scanned: SN-1$'; done
to_meters "result dual -0.21 56.3 -0.35 54.0 record"
for side in linux windows; do wait_for "$scratch/$side.json" '^#1  SN-1 '; done
to_scanners "" " SN-2"$'\r'
for side in linux windows; do wait_for "$scratch/$side.json" '^scanned: SN-2$'; done
to_meters "result single 1 57.0 -0.12 record"
for side in linux windows; do wait_for "$scratch/$side.json" '^#2  SN-2 .*  PASS$'; done
# The scanner goes away: the last serial stays, the run goes on.
exec {scan_linux}>&- {scan_windows}>&-
to_meters "result dual -0.22 56.1 -0.25 55.3 record"
for side in linux windows; do wait_for "$scratch/$side.json" '^reused: SN-2$'; done
close_meters
pkill -INT -f -- "$linux_cli listen $scratch/meter-linux --serials-from-stdin" ||
  fail "no Linux orvana-cli to stop"
pkill -INT -f -- "orvana-cli.exe listen COM$com --serials-from-stdin" || fail "no orvana-cli.exe to stop"
wait_status
for side in linux windows; do
  [ "$(cat "$scratch/$side.status")" = 0 ] || fail "$side ended with $(cat "$scratch/$side.status"), not 0"
done
same "the readable output" "$scratch/linux.json" "$scratch/windows.json"
same "the day log" "$scratch/linux/Savetemp/$(date +%Y%m%d).txt" "$scratch/windows/Savetemp/$(date +%Y%m%d).txt"
[ "$(cut -c1-4 "$scratch/windows/Savetemp/$(date +%Y%m%d).txt" | tr -d '\r' | tr '\n' ' ')" = "SN-1 SN-2 SN-2 " ] ||
  fail "the day log does not carry the scanned serials"
echo "   the scanned serials on the parts, the same readable lines and the same day log"

echo "== report: the same workbook of the same day log, into a folder with a Chinese name"
day=$(date +%Y%m%d).txt
cp "$scratch/windows/Savetemp/$day" "$scratch/linux/$day"
cp "$scratch/windows/Savetemp/$day" "$scratch/windows/$day"
mkdir -p "$scratch/windows/报告" "$scratch/linux/报告"
(cd "$scratch/linux" && "$linux_cli" report -o "报告/日报.xlsx" "$day" >"$scratch/linux.report") ||
  fail "the Linux report failed"
(cd "$scratch/windows" && "$wine_run" "$exe" report -o "报告\日报.xlsx" "$day" >"$scratch/windows.report") ||
  fail "the Windows report failed"
[ -s "$scratch/windows/报告/日报.xlsx" ] || fail "no workbook in the Chinese folder"
grep -q '日报.xlsx' "$scratch/windows.report" || fail "the report did not print its name: $(cat "$scratch/windows.report")"
for part in xl/worksheets/sheet1.xml xl/worksheets/sheet2.xml xl/styles.xml; do
  unzip -p "$scratch/linux/报告/日报.xlsx" "$part" >"$scratch/linux.part"
  unzip -p "$scratch/windows/报告/日报.xlsx" "$part" >"$scratch/windows.part"
  [ -s "$scratch/windows.part" ] || fail "the Windows workbook has no $part"
  same "the workbook's $part" "$scratch/linux.part" "$scratch/windows.part"
done
echo "   the same sheets and styles"
