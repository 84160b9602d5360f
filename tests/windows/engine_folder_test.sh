#!/usr/bin/env bash
# The Windows harness in the Windows engine folder, run under Wine, against the Linux harness in
# the Linux engine folder: the same usage, runs, versions and settings handed to the engine,
# the same refusal of an engine whose appended signature is broken, and /TIMEOUT ending a
# hanging engine with the helper it started, /AB runs in pairs with its gate, /CAPTURE keeps the
# engine's output while the console still shows it, and /PERFMON samples the engine it found by
# its command line. Both folders are copied first, so the tests change neither build.
# usage: engine_folder_test.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR
set -euo pipefail
windows_build=$1
linux_build=$2
source "$(dirname "$0")/wine_common.sh"
cp -r "$windows_build/engine" "$work/win"
cp -r "$linux_build/engine" "$work/linux"

source "$(dirname "$0")/compare_harnesses.sh"

compare usage -- '/?'
compare three_runs -- /NH /RUN=3
compare versions -- /VER
names=$(sed -n '1p;2p' "$(dirname "$0")/../../tools/engine_folder/vxr_names.txt" | paste -sd';')
compare assign -- "/ASSIGN=$names" /LOOP=3 /NH
same_settings assign win
compare timeout VXR_REF_SLEEP_MS=60000 -- /NH /TIMEOUT=1 /RUN=2
# No engine of the Windows folder outlives its harness.
# Wine shows the engine by its Windows path (Z:\tmp\...\win\vxr.exe): any separator matches.
if pgrep -f "${work##*/}.win.vxr" >/dev/null; then
  fail "timeout: an engine still runs"
fi
# /TIMEOUT ends the engine's whole tree: a helper the engine started and left running (it would
# sleep five minutes) is ended with it. Wine takes a moment to clear an ended process from the
# system's list, so its absence is awaited (for at most a minute).
helper_file=$work/helper.pid
(cd "$work/win" && VXR_REF_SLEEP_MS=60000 VXR_REF_HELPER="$helper_file" "$wine" TestKVE.exe /NH /TIMEOUT=1 /RUN=1 \
   </dev/null >/dev/null 2>&1) || true
if [[ ! -s $helper_file ]]; then
  fail "timeout_tree: the engine started no helper"
else
  for ((wait = 0; wait < 600; ++wait)); do
    pgrep -f "HELPER=$helper_file" >/dev/null || break
    sleep 0.1
  done
  if pgrep -f "HELPER=$helper_file" >/dev/null; then
    fail "timeout_tree: the engine's helper outlived the harness"
    pkill -f "HELPER=$helper_file" || true
  else
    echo "ok: timeout_tree"
  fi
fi
# The engine's extra-output messages, printed by the harness.
compare extra_output VXR_REF_MESSAGES=2 VXR_REF_MESSAGE_BYTES=64 -- /NH /DLL /RUN=2
# The pattern names, numbered down to 1.
compare pattern_list -- /NH /PL
grep -q '^Pattern List(1): ' "$work/pattern_list.win" || { fail "pattern_list: no list"; }

# Two pattern lists at once, each harness in an engine folder of its own (the engine runs once
# per report folder): the first engine holds, its names sent, until the second harness, which
# lists another pattern file, has ended. Each prints only its own engine's names, as one run
# alone does on Linux.
cp -r "$windows_build/engine" "$work/first"
cp -r "$windows_build/engine" "$work/second"
touch "$work/hold"
(cd "$work/first" && VXR_REF_HOLD_FILE=$(windows_path "$work/hold") "$wine" TestKVE.exe /NH /PL </dev/null 2>/dev/null |
  tr -d '\r' >"$work/first.win") &
first=$!
# The engine writes mailslots.txt once its names are sent, and then holds.
while [[ ! -e $work/first/report/mailslots.txt ]] && kill -0 "$first" 2>/dev/null; do sleep 0.1; done
(cd "$work/second" && "$wine" TestKVE.exe /NH /PL /PTN=qlakve.ptn </dev/null 2>/dev/null | tr -d '\r' >"$work/second.win") || true
# Held, the first run outlives the second: the two ran at once.
kill -0 "$first" 2>/dev/null || { fail "two pattern lists at once: the first ended first"; }
rm "$work/hold"
wait "$first" || true
(cd "$work/linux" && ./testkve /NH /PL /PTN=qlakve.ptn >"$work/second.linux" 2>/dev/null) || true
if diff -u "$work/pattern_list.linux" "$work/first.win" && diff -u "$work/second.linux" "$work/second.win"; then
  echo "ok: two pattern lists at once"
else
  fail "two pattern lists at once: a harness printed other lines"
fi
# The monitor: the same lines and report as on Linux, in words (each figure, and "n/a" where the
# system has no counter, as "#"; the samples, whose number follows the clock, left out), in the
# console and the log; the same CSV columns, and an SVG picture that parses.
sample='PerfMon: CPU=#%, MEM=#% (# bytes), DATA=# bytes (# operations)'
in_words() { tr -d '\r' <"$1" | sed -E 's/-?[0-9]+|n\/a/#/g'; }
wording() { in_words "$1" | grep -vxF "$sample"; }
# The monitor's pauses, a tenth of the real ones on both systems (a test-only setting).
(cd "$work/linux" && TESTKVE_MONITOR_SPEEDUP=10 ./testkve /NH /PERFMON >"$work/perfmon.linux" 2>/dev/null) &
linux_monitor=$!
(cd "$work/first" && TESTKVE_MONITOR_SPEEDUP=10 "$wine" TestKVE.exe /NH /PERFMON </dev/null >"$work/perfmon.win" 2>/dev/null) || true
wait "$linux_monitor" || true
if diff -u <(wording "$work/perfmon.linux") <(wording "$work/perfmon.win") &&
   diff -u <(wording "$work/linux/PerfReport/perfCounter.log") <(wording "$work/first/PerfReport/perfCounter.log") &&
   grep -qxF "$sample" <(in_words "$work/perfmon.win") &&
   diff <(head -1 "$work/linux/PerfReport/perfCounter.csv") <(head -1 "$work/first/PerfReport/perfCounter.csv") &&
   python3 -c 'import sys, xml.etree.ElementTree as t; t.parse(sys.argv[1])' "$work/first/PerfReport/perfCounter.svg"; then
  echo "ok: perfmon"
else
  fail "perfmon: other lines or files than on Linux"
fi
# The monitor finds the running engine by its command line here too: held until the table has
# two rows with the engine's own figures, the engine is named there by its own process ID.
: >"$work/engine_hold"
(cd "$work/first" && VXR_REF_HOLD_FILE=$(windows_path "$work/engine_hold") VXR_REF_START_LOG=engine_starts.log \
   TESTKVE_MONITOR_SPEEDUP=10 "$wine" TestKVE.exe /NH /RUN=1 /PERFMON </dev/null >/dev/null 2>&1) &
held=$!
engine_rows() { tr -d '\r' <"$work/first/PerfReport/perfCounter.csv" 2>/dev/null | awk -F, 'NR > 1 && $7 == 1 && $8 != ""'; }
for ((wait = 0; wait < 1200; ++wait)); do
  [[ $(engine_rows | wc -l) -ge 2 ]] && break
  kill -0 "$held" 2>/dev/null || break
  sleep 0.1
done
rm -f "$work/engine_hold"
wait "$held" || true
engine_pid=$(tr -d '\r' <"$work/first/engine_starts.log" 2>/dev/null | awk '{ print $1 }')
if [[ -n $engine_pid && $(engine_rows | wc -l) -ge 2 && $(engine_rows | cut -d, -f8 | sort -u) == "$engine_pid" ]]; then
  echo "ok: perfmon engine"
else
  fail "perfmon engine: the engine $engine_pid is not the one in the table's engine rows: $(engine_rows)"
fi
# /AB: side B is a copy of the engine folder in b/, whose engines fail through the folder's
# steering file; five pairs in turns (AB, BA, ...) and the gate on the failures end with exit
# status 1 on both systems, with the same lines but for the measured figures.
for folder in linux win; do
  mkdir "$work/$folder/b"
  find "$work/$folder" -maxdepth 1 -type f -exec cp {} "$work/$folder/b/" \;
  printf 'VXR_REF_EXIT=-93\n' >"$work/$folder/b/vxr_ref_steering.txt"
done
ab_code_linux=0 ab_code_win=0
(cd "$work/linux" && ./testkve /NH /RUN=5 /AB=b '/FAILIF=failures>0' 2>/dev/null | grep -v -e median -e growth \
   >"$work/ab.linux") || ab_code_linux=$?
# The comparison names each side's engine with the system's separator.
(cd "$work/win" && "$wine" TestKVE.exe /NH /RUN=5 /AB=b '/FAILIF=failures>0' </dev/null 2>/dev/null | tr -d '\r' |
   grep -v -e median -e growth | sed '/^Comparison/s#\\#/#g' >"$work/ab.win") || ab_code_win=$?
if diff -u "$work/ab.linux" "$work/ab.win" && [[ $ab_code_linux == 1 && $ab_code_win == 1 ]] &&
   grep -qx 'Side B: engine folder b' "$work/ab.win"; then
  echo "ok: ab"
else
  echo "FAIL: ab: exit codes $ab_code_linux (Linux) and $ab_code_win (Windows), or other lines"
  failures=$((failures + 1))
fi
# /CAPTURE: the console shows what the engine writes as on Linux (a flood of 20000 lines whole),
# and the JSON record of the failed pass keeps it: the flood's last 64 KiB, in the engine's own
# line ends.
compare capture VXR_REF_SAY=said VXR_REF_EXIT=3 -- /NH /CAPTURE /JSON=capture.jsonl
compare capture_flood VXR_REF_SAY=flood VXR_REF_SAY_LINES=20000 VXR_REF_EXIT=3 -- /NH /CAPTURE /JSON=flood.jsonl
if python3 - "$work/win/capture.jsonl" "$work/win/flood.jsonl" <<'PY'
import json, sys
def failed_pass(path):
    return [r for r in map(json.loads, open(path)) if r["record"] == "pass"][0]
said = failed_pass(sys.argv[1])
assert said["stdout"].replace("\r", "") == "said\n", said
assert said["stderr"].replace("\r", "") == "said on stderr\n", said
flood = failed_pass(sys.argv[2])
end = "\r\n" if "\r" in flood["stdout"] else "\n"
lines = "".join(f"{i} flood{end}" for i in range(1, 20001))
assert flood["stdout"] == lines[-65536:] and flood["stdout_bytes"] == len(lines), flood["stdout_bytes"]
PY
then
  echo "ok: capture_records"
else
  fail "capture_records: the JSON records do not hold the engine's output"
fi
# One byte of each engine changed: the appended signature no longer matches.
for folder in linux win; do
  python3 -c 'import sys; p = sys.argv[1]; b = bytearray(open(p, "rb").read()); b[200] ^= 0xFF; open(p, "wb").write(b)' \
    "$work/$folder/vxr.exe"
done
# /PREPARE and /CLEANUP run through cmd: a corpus file the engine cleans is restored before
# every pass (the engine notes what it found in report/cleaned.txt), and the clean-up sees the
# pass number and the warm-up flag in its environment.
cp -r "$windows_build/engine" "$work/corpus_run"
mkdir "$work/corpus_run/corpus"
echo infected >"$work/corpus_run/pristine.txt"
cp "$work/corpus_run/pristine.txt" "$work/corpus_run/corpus/infected.txt"
# The line is typed as in cmd (a .bat file, where %% is one %), so the quoted commands reach the
# harness as written.
printf '%s\r\n' '@TestKVE.exe /NH /WARMUP=1 /RUN=2 /PREPARE="copy /y pristine.txt corpus\infected.txt >NUL"'\
' /CLEANUP="echo pass %%TESTKVE_PASS%% warm %%TESTKVE_WARMUP%% >>passes.log"' >"$work/corpus_run/soak.bat"
(cd "$work/corpus_run" && VXR_REF_CLEAN_FILE='corpus\infected.txt' "$wine" cmd /c soak.bat </dev/null >/dev/null 2>&1) ||
  true
cleaned=$(tr -d '\r' <"$work/corpus_run/report/cleaned.txt" 2>/dev/null | paste -sd' ')
passes=$(tr -d '\r' <"$work/corpus_run/passes.log" 2>/dev/null | sed 's/ *$//' | paste -sd';')
if [[ $cleaned == "infected infected infected" && $passes == "pass 1 warm 1;pass 1 warm 0;pass 2 warm 0" ]]; then
  echo "ok: prepare_through_cmd"
else
  echo "FAIL: prepare_through_cmd: the engine found [$cleaned], the clean-ups saw [$passes]"
  failures=$((failures + 1))
fi
compare broken_signature -- /NH /RUN=1
grep -q VXR_LIB_NOT_INIT "$work/broken_signature.win" || { fail "broken_signature: not refused"; }
exit $((failures > 0))
