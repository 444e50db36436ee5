# What the Windows program's tests under Wine share, sourced by them with
# their arguments WINE_RUN ZIP LINUX_BUILD: a scratch folder with a new Wine
# prefix in it, the zip unpacked into an empty folder there ($exe), COM$com of
# the prefix linked to $scratch/meter-windows and entered in SERIALCOMM as a
# driver would, and meters played by the Linux simulator. Each test names
# its own COM number in `com` before sourcing this: ctest runs them side by
# side, and a test that stops its program by its command line must not stop
# another test's.

com=${com:?set com to the COM number of the test}
wine_run=$(realpath "$1")
zip=$(realpath "$2")
linux_build=$3
sim=$linux_build/tools/sim/orvana-sim
linux_cli=$linux_build/src/cli/orvana-cli
for program in "$sim" "$linux_cli"; do
  [ -x "$program" ] || { echo "$0: $program is missing: build the Linux programs first" >&2; exit 1; }
done

scratch=$(mktemp -d "${TMPDIR:-/tmp}/orvana-wine.XXXXXX")
export WINEPREFIX=$scratch/prefix
export ORVANA_LANG=en
unset ORVANA_DATABASE
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  WINEPREFIX=$scratch/prefix wineserver -k 2>/dev/null || true
  [ -n "${ORVANA_KEEP_SCRATCH:-}" ] || rm -rf "$scratch"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  local file
  for file in "$scratch"/*.err; do
    [ -s "$file" ] && { echo "--- $file" >&2; tail -20 "$file" >&2; }
  done
  exit 1
}

# wait_for FILE PATTERN [COUNT]: until FILE holds COUNT (1) lines matching
# PATTERN, for at most 30 s.
wait_for() {
  local file=$1 pattern=$2 count=${3:-1}
  for _ in $(seq 300); do
    [ "$(grep -c -- "$pattern" "$file" 2>/dev/null || true)" -ge "$count" ] && return 0
    sleep 0.1
  done
  echo "--- $file" >&2
  cat "$file" >&2 || true
  fail "$file never showed $count of $pattern"
}

# A meter on each side: start_meter SIDE makes $scratch/meter-SIDE, fed
# through file descriptor $meter_in_SIDE.
start_meter() {
  local side=$1
  rm -f "$scratch/in-$side"
  mkfifo "$scratch/in-$side"
  "$sim" --stdin --link "$scratch/meter-$side" <"$scratch/in-$side" >/dev/null 2>>"$scratch/sim-$side.err" &
  pids+=($!)
  eval "exec {meter_in_$side}>\"\$scratch/in-$side\""
  for _ in $(seq 100); do [ -e "$scratch/meter-$side" ] && return 0; sleep 0.05; done
  fail "the simulator made no port"
}
# run SIDE ARGUMENTS...: the side's orvana-cli in its own folder, in the
# background; its output in $scratch/SIDE.json, its status in SIDE.status,
# its standard input the file $run_stdin names (else /dev/null).
run() {
  local side=$1
  shift
  rm -f "$scratch/$side.status"
  local program=("$linux_cli")
  [ "$side" = windows ] && program=("$wine_run" "$exe")
  (
    cd "$scratch/$side"
    status=0
    "${program[@]}" "$@" <"${run_stdin:-/dev/null}" >"$scratch/$side.json" \
      2>"$scratch/$side.err" || status=$?
    echo "$status" >"$scratch/$side.status"
  ) &
  pids+=($!)
}
mkdir -p "$scratch/unpacked" "$scratch/linux" "$scratch/windows"
(cd "$scratch/unpacked" && unzip -q "$zip")
exe=$(find "$scratch/unpacked" -name orvana-cli.exe)
[ -n "$exe" ] || fail "no orvana-cli.exe in $zip"
"$wine_run" "$exe" --help >/dev/null
ln -sfn "$scratch/meter-windows" "$WINEPREFIX/dosdevices/com$com"
"$wine_run" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v '\Device\OrvanaMeter' /t REG_SZ \
  /d "COM$com" /f >/dev/null

