#!/usr/bin/env bash
# /SERVICE /RUN=2 /NH under Wine against the Linux round trip: the Windows harness registers
# TestSrv with the service control manager and starts it, and TestSrv.exe runs the harness
# beside it once, two passes of the reference engine, logging as on Linux. The harness's lines
# and the service's log are compared with the Linux harness's (program path, folder and times
# aside). Wine runs in a prefix of the test's own, so no service outlives the test.
# usage: service_test.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
windows_build=$1
linux_build=$2
source "$(dirname "$0")/wine_common.sh"
own_wine_prefix
# Quiet unless the caller asks for Wine's messages (scripts/wine-ctest does when it runs a test again).
# The server runs with its output away from any pipe (else each Wine program lingers at its end).
cp -r "$windows_build/engine" "$work/win"
cp -r "$linux_build/engine" "$work/linux"

# A service gets the system's environment, not its starter's: the reference engine's steering
# (count the runs) goes into the prefix's registry, read anew when the manager starts again.
start_wine
"$wine" reg add 'HKCU\Environment' /v VXR_REF_EXITS /d 0,0 /f </dev/null >/dev/null 2>&1
stop_wine
start_wine

(cd "$work/win" && "$wine" TestKVE.exe /SERVICE /RUN=2 /NH </dev/null 2>/dev/null | tr -d '\r' >"$work/service.win") || true
(cd "$work/linux" && TESTKVE_SERVICE_DB="$work/db" VXR_REF_EXITS=0,0 ./testkve /SERVICE /RUN=2 /NH \
   >"$work/service.linux" 2>/dev/null) || true
# Each service ends by logging its end: the manager reports TestSrv stopped after that (a
# service that is gone, or was never made, ends the wait too); the Linux one leaves the line.
while state=$("$wine" sc query TestSrv </dev/null 2>/dev/null) && ! grep -q 'STATE *: *1 ' <<<"$state"; do sleep 0.2; done
if grep -qx 'Service start.' "$work/service.linux"; then
  until grep -q ' end: ' "$work/db/TestSrv.log" 2>/dev/null; do sleep 0.1; done
fi

program_as_word() { sed -E 's/^original sCmd is [^ ]+ /original sCmd is PROGRAM /' "$1"; }
# Windows keeps the command line as its starter wrote it, and Wine quotes the program's path:
# a quoted path prints "have \"" (the Linux line, joined from argv, leaves the path bare).
windows_lines() {
  if ! grep -q '^original sCmd is "' "$1"; then
    program_as_word "$1"
    return
  fi
  grep -qx 'have "' "$1" || echo 'no line: have "'
  program_as_word "$1" | grep -vx 'have "'
}
if diff -u <(program_as_word "$work/service.linux") <(windows_lines "$work/service.win"); then
  echo "ok: the harness's lines"
else
  fail "the harness printed other lines"
fi
# log_in_words LOG FOLDER: the log with its times, and the folder it names, as words.
log_in_words() {
  local text
  text=$(tr -d '\r' <"$1")
  printf '%s\n' "${text//"$2"/FOLDER}" | sed -E 's/^TestSrv [0-9-]+ [0-9:]+ /TestSrv TIME /'
}
if [[ -f $work/win/TestSrv.log ]] &&
   diff -u <(log_in_words "$work/db/TestSrv.log" "$work/linux") \
           <(log_in_words "$work/win/TestSrv.log" "Z:${work//\//\\}\\win"); then
  echo "ok: the service's log"
else
  fail "the service's log differs"
fi
if [[ $(cat "$work/win/report/run_count" 2>/dev/null) == 2 ]]; then
  echo "ok: the engine ran twice"
else
  fail "the engine's run count is not 2"
fi
exit $((failures > 0))
