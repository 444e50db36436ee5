#!/usr/bin/env bash
# orvana-cli.exe and the line's shared record: a PostgreSQL server of the
# test's own, listening on 127.0.0.1 only on a free port, that wants the
# bench's password (scram-sha-256). The Windows program under Wine sends every
# result of a run to it with listen --database "host=127.0.0.1 port=N ...",
# its password read from %APPDATA%\postgresql\pgpass.conf; store --status
# and report --from-database read it back with the password from PGPASSFILE.
#
#   wine_database.sh WINE_RUN ZIP LINUX_BUILD
set -euo pipefail

com=7
# shellcheck source=../../support/wine_bench.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../support/wine_bench.sh" "$@"

pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$pg_bin/postgres" ] || fail "no PostgreSQL server installed (scripts/deps.sh --tests installs it)"

echo "== a PostgreSQL server on 127.0.0.1"
# The server refuses to run as root: then it runs as nobody, in a folder
# nobody may enter.
as_server=()
[ "$(id -u)" -eq 0 ] && as_server=(runuser -u nobody --)
chmod 755 "$scratch"
mkdir -p "$scratch/pg"
[ "$(id -u)" -eq 0 ] && chown nobody "$scratch/pg"
"${as_server[@]}" "$pg_bin/initdb" -D "$scratch/pg/data" --no-sync --username=orvana --auth=trust \
  >"$scratch/initdb.log" 2>&1 || { cat "$scratch/initdb.log" >&2; fail "initdb failed"; }
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$scratch/pg/data/pg_hba.conf" <<HBA
local all orvana trust
host all pw_bench 127.0.0.1/32 scram-sha-256
HBA
"${as_server[@]}" "$pg_bin/postgres" -D "$scratch/pg/data" -c listen_addresses=127.0.0.1 \
  -c port="$port" -c unix_socket_directories="$scratch/pg" -c fsync=off \
  >"$scratch/postgres.err" 2>&1 &
pids+=($!)
sql() { psql -h "$scratch/pg" -p "$port" -U orvana -d "${2:-orvana}" -X -q -t -A -v ON_ERROR_STOP=1 -c "$1"; }
for _ in $(seq 300); do
  pg_isready -q -h "$scratch/pg" -p "$port" -U orvana -d postgres && break
  sleep 0.1
done
pg_isready -q -h "$scratch/pg" -p "$port" -U orvana -d postgres || fail "the server did not start"
sql "CREATE DATABASE orvana" postgres
"$linux_cli" store --schema | psql -h "$scratch/pg" -p "$port" -U orvana -d orvana -X -q -v ON_ERROR_STOP=1 \
  >/dev/null || fail "the schema was not made"
sql "CREATE ROLE pw_bench LOGIN PASSWORD 'wine-bench-secret';
     GRANT USAGE ON SCHEMA orvana TO pw_bench;
     GRANT INSERT, SELECT ON orvana.results, orvana.records TO pw_bench;
     GRANT SELECT ON orvana.schema_version TO pw_bench;"

# The password where a Windows libpq looks for it, never in the string.
appdata=$("$wine_run" cmd /c 'echo %APPDATA%' | tr -d '\r')
appdata_unix=$(winepath -u "$appdata" 2>/dev/null)
mkdir -p "$appdata_unix/postgresql"
echo "127.0.0.1:$port:orvana:pw_bench:wine-bench-secret" >"$appdata_unix/postgresql/pgpass.conf"
conninfo="host=127.0.0.1 port=$port dbname=orvana user=pw_bench connect_timeout=10"

echo "== listen --database: every result of the run reaches the record"
start_meter windows
ORVANA_BENCH=wine-bench run windows listen COM$com --seconds 60 --database "$conninfo"
wait_for "$scratch/windows.json" '"Meter connected"'
printf '%s\n' "result dual -0.21 56.3 -0.35 54.0 record" "result single 5 56.0 -0.2 record" \
  "result dual -0.25 57.0 -0.28 56.5 show" "result dual -0.1 60.5 -0.2 58.25 record" "wait 500" \
  "hangup" >&"$meter_in_windows"
exec {meter_in_windows}>&-
for _ in $(seq 600); do [ -s "$scratch/windows.status" ] && break; sleep 0.1; done
[ "$(cat "$scratch/windows.status" 2>/dev/null)" = 3 ] || fail "the run ended with $(cat "$scratch/windows.status" 2>/dev/null), not 3"
stored=$(sql "SELECT string_agg(il1 || ' ' || rl1 || ' ' || il2 || ' ' || rl2, ',' ORDER BY il1)
              FROM orvana.results WHERE bench = 'wine-bench'")
[ "$stored" = "  -0.20 56.0,-0.10 60.5 -0.20 58.2,-0.21 56.3 -0.35 54.0" ] || fail "the record holds: $stored"
grep -q '"store":"lost"\|"store":"saved"' "$scratch/windows.json" && fail "results were left unsent"
echo "   3 recorded results in the record: $stored"

echo "== store --status and report --from-database, the password from PGPASSFILE"
mv "$appdata_unix/postgresql/pgpass.conf" "$scratch/pgpass"
(cd "$scratch/windows" && PGPASSFILE='Z:'"${scratch//\//\\}"'\pgpass' \
  "$wine_run" "$exe" store --status --database "$conninfo" >"$scratch/status.json" 2>"$scratch/status.err") ||
  fail "store --status failed"
grep -q '"wine-bench"' "$scratch/status.json" || fail "store --status does not name the bench: $(cat "$scratch/status.json")"
(cd "$scratch/windows" && PGPASSFILE='Z:'"${scratch//\//\\}"'\pgpass' \
  "$wine_run" "$exe" report --from-database --database "$conninfo" -o line.xlsx >/dev/null 2>"$scratch/report.err") ||
  fail "report --from-database failed"
unzip -p "$scratch/windows/line.xlsx" xl/worksheets/sheet1.xml | grep -q 'wine-bench' ||
  fail "the line's report lacks the bench"
echo "   the bench's count and the line's report read back"
