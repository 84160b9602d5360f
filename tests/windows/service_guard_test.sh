#!/usr/bin/env bash
# What guards the LocalSystem service under Wine: a folder that others may write is refused
# before anything is registered ("Start sevice fail" in place of the start, the reason on
# standard error); the manager's stop ends a long engine run and the service reports stopped
# with the harness's exit status; a second /SERVICE from another folder is told where the
# registered service writes its log; and TestSrv.exe works in a folder named "eng ine é".
# What only Windows can show (the ACLs of NTFS, Ctrl+Break reaching the harness) is in
# docs/windows.md. Wine runs in a prefix of the test's own, so no service outlives the test.
# usage: service_guard_test.sh WINDOWS_BUILD_DIR
set -euo pipefail
windows_build=$1
source "$(dirname "$0")/wine_common.sh"
own_wine_prefix
state_of() { "$wine" sc query TestSrv </dev/null 2>/dev/null | tr -d '\r'; }
wait_for_stop() { while state=$(state_of) && ! grep -q 'STATE *: *1 ' <<<"$state"; do sleep 0.2; done; }
# service FOLDER OPTIONS...: /SERVICE from FOLDER; its output in FOLDER.out and FOLDER.err.
service() {
  local folder=$1
  shift
  (cd "$folder" && "$wine" TestKVE.exe /SERVICE "$@" </dev/null 2>"$folder.err" | tr -d '\r' >"$folder.out") || true
  tr -d '\r' <"$folder.err" >"$folder.err.txt"
}

# The engine sleeps until stopped and logs its start; a service takes the registry's environment.
start_wine
"$wine" reg add 'HKCU\Environment' /v VXR_REF_SLEEP_MS /d 600000 /f </dev/null >/dev/null 2>&1
"$wine" reg add 'HKCU\Environment' /v VXR_REF_START_LOG /d "$(windows_path "$work/starts.log")" /f </dev/null >/dev/null 2>&1
stop_wine
start_wine

# 1. A folder that everyone may write: nothing is registered, nothing started.
cp -r "$windows_build/engine" "$work/open"
chmod o+w "$work/open"
service "$work/open" /NH
if [[ $(tail -n 2 "$work/open.out") == $'Argument to launch service:   /NH\nStart sevice fail' ]] &&
   grep -q 'can be changed by' "$work/open.err.txt" && ! state_of | grep -q 'STATE'; then
  echo "ok: a folder that others may write is refused, and nothing is registered"
else
  fail "a folder that others may write was not refused:"; cat "$work/open.out" "$work/open.err.txt"
fi

# 2. The manager's stop during a long engine run, in a folder whose name is not ASCII.
folder="$work/eng ine é"
cp -r "$windows_build/engine" "$folder"
service "$folder" /NH /RUN=1
until [[ -s $work/starts.log ]]; do sleep 0.2; done
"$wine" sc stop TestSrv </dev/null >/dev/null 2>&1 || true
wait_for_stop
log=$(tr -d '\r' <"$folder/TestSrv.log" 2>/dev/null || true)
status=$(sed -nE 's/.* end: harness exit status ([0-9]+)$/\1/p' <<<"$log")
if grep -q ' stop: asked by the service manager$' <<<"$log" && [[ -n $status && $status != 0 ]] &&
   grep -q "SERVICE_EXIT_CODE *: *$status " <<<"$(state_of)"; then
  echo "ok: the manager's stop ends the run, and the service reports the harness's exit status $status"
else
  fail "the manager's stop did not end the run as expected:"; echo "$log"; state_of
fi
if pgrep -f 'eng ine .*vxr\.exe' >/dev/null; then
  fail "the engine outlived the stopped service"
else
  echo "ok: no engine outlives the stopped service"
fi

# 3. From another folder the registered service runs, and its log is beside its program.
rm -f "$work/starts.log"
cp -r "$windows_build/engine" "$work/other"
service "$work/other" /NH /RUN=1
expected_log="$(windows_path "$folder")\\TestSrv.log"
if grep -qF "the service's output goes to $expected_log" "$work/other.err.txt" &&
   [[ ! -e $work/other/TestSrv.log ]]; then
  echo "ok: the output line names the log of the service as registered"
else
  fail "the output line names another log:"; cat "$work/other.err.txt"
fi
until [[ -s $work/starts.log ]]; do sleep 0.2; done
"$wine" sc stop TestSrv </dev/null >/dev/null 2>&1 || true
wait_for_stop
exit $((failures > 0))
