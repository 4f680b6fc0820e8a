#!/usr/bin/env bash
# A drive logged the way a car computer logs it: kestrix-sim on a pseudo-terminal reached through
# a stable link (as /dev/serial/by-id/... is), the cable pulled and put back on the way,
# kestrix-cli log with no display and its own settings, stopped by SIGTERM as systemd stops the
# service. Checks the log it leaves: one file, whole records, a gap where the cable was out.
#   tests/cli/log_drive.sh KESTRIX_CLI KESTRIX_SIM [RUNNER...]
# RUNNER runs both programs, e.g. "qemu-aarch64-static -L /" for arm64 binaries on amd64.
# Waits are generous: under emulation a program starts in seconds, not milliseconds.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 KESTRIX_CLI KESTRIX_SIM [RUNNER...]"; exit 2; }
cli=$1 sim=$2
shift 2
runner=("$@")
want_records=${KX_DRIVE_RECORDS:-250}

work=$(mktemp -d)
sim_pid="" cli_pid=""
cleanup() {
  for p in $cli_pid $sim_pid; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "log_drive: $*"
  for f in sim.out cli.err; do [ -s "$work/$f" ] && { echo "--- $f"; tail -20 "$work/$f"; }; done
  exit 1
}
records() { [ -f "$work/drive.log" ] && echo $(( $(grep -c $'\r$' "$work/drive.log") - 1 )) || echo 0; }
wait_for() { # SECONDS COMMAND...: true once COMMAND succeeds
  local until=$(( SECONDS + $1 )); shift
  while ! "$@"; do [ $SECONDS -lt $until ] || return 1; sleep 0.5; done
}

"${runner[@]}" "$sim" --link "$work/ecu" --seed 7 --hangup-after 150 --reopen-after 1000 \
  >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 60 test -e "$work/ecu" || fail "kestrix-sim made no link in 60 s"
printf '[Comms]\nComPort=%s\n' "$work/ecu" >"$work/Kestrix.ini"

started=$SECONDS
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$work/config" \
  "${runner[@]}" "$cli" log --settings "$work/Kestrix.ini" --out "$work/drive.log" \
  2>"$work/cli.err" &
cli_pid=$!
enough() { [ "$(records)" -ge "$want_records" ]; }
wait_for 180 enough || fail "$(records) records after 180 s, $want_records wanted"
echo "log_drive: $(records) records after $(( SECONDS - started )) s"

kill -TERM $cli_pid
status=0
wait_for 60 bash -c "! kill -0 $cli_pid 2>/dev/null" || fail "kestrix-cli still running 60 s after SIGTERM"
wait $cli_pid || status=$?
cli_pid=""
[ $status -eq 0 ] || fail "kestrix-cli ended with status $status after SIGTERM"
grep -q "records, " "$work/cli.err" || fail "no summary line on stderr"
grep -q " lost: " "$work/cli.err" || fail "the pulled cable was not said on stderr"

# Whole records only: every line ends in CR LF and has the header's number of fields; time never
# goes back, and jumps where the cable was out; RPM is an engine's, cranking first and then
# running.
awk -F', ' '
  { if (substr($0, length($0)) != "\r") { print "line " NR " is not whole: " $0; bad = 1; exit } }
  NR == 1 { if ($1 != "Time" || $2 != "RPM") { print "header: " $0; bad = 1; exit }; n = NF; next }
  NF != n { print "line " NR " has " NF " fields, the header " n; bad = 1; exit }
  $1 + 0 < t { print "time goes back at line " NR; bad = 1; exit }
  NR > 2 && $1 - t > 1 { ++gaps }
  { t = $1 + 0; rpm = $2 + 0; if (rpm < 100 || rpm > 9000) { print "RPM " $2 " at line " NR; bad = 1; exit } }
  END {
    if (!bad && rpm < 500) { print "the engine never ran: RPM " rpm " at the end"; bad = 1 }
    if (!bad && gaps != 1) { print gaps + 0 " gaps in the time column, 1 wanted"; bad = 1 }
    exit bad
  }
' "$work/drive.log" || fail "the log is not as it should be"
[ "$(tail -c 2 "$work/drive.log" | od -An -c | tr -d ' ')" = '\r\n' ] || fail "the log ends inside a record"
echo "log_drive: passed ($(records) records, $(sed -n '$p' "$work/cli.err"))"
