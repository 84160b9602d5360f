#!/usr/bin/env bash
# The Windows harness as a user meets it in cmd, under Wine: every command line is written into
# a .bat file (in the OEM code page, as cmd reads one) and run with `wine64 cmd /c`, so the
# harness gets the line exactly as typed. The engine folders are named as users name folders:
# `eng ine é`, `bad é`, `missing é`. Checked: the options the /JSON run record holds, against
# expectations written out here (a quoted folder ending in a backslash, with a blank and
# without, first and later; a quote inside a value; options in the program's own path);
# VXR.INI read in a folder `eng ine é`; the missing-engine message only for a missing engine,
# its folder spelt right; a drive-relative PatternDir joined to its own drive's folder; one
# separator in the record's engine path; the reference engine's start log.
# usage: command_line_test.sh WINDOWS_BUILD_DIR
set -euo pipefail
windows_build=$1
source "$(dirname "$0")/wine_common.sh"
home="$work/eng ine é"
cp -r "$windows_build/engine" "$home"
cp -r "$windows_build/engine" "$work/eng"
cp -r "$windows_build/engine" "$work/bad é"
mkdir "$work/missing é" "$home/a-b c"
cp "$home/TestKVE.exe" "$home/a-b c/"

# run_bat FOLDER NAME LINE...: the lines, in a .bat file that cmd runs in FOLDER; its standard
# output and error in $work/NAME.out and .err, its exit code in $work/NAME.code.
run_bat() {
  local folder=$1 name=$2 code=0
  shift 2
  python3 -c 'import sys; open(sys.argv[1], "wb").write("".join(l + "\r\n" for l in sys.argv[2:]).encode("cp437"))' \
    "$folder/$name.bat" '@echo off' "$@" 'exit /b %errorlevel%'
  (cd "$folder" && "$wine" cmd /c "$name.bat" </dev/null >"$work/$name.out" 2>"$work/$name.err") || code=$?
  tr -d '\r' <"$work/$name.out" >"$work/$name.txt"
  echo "$code" >"$work/$name.code"
}

# record_field FILE EXPRESSION: a field of the run record in the JSON lines FILE, as JSON.
record_field() {
  python3 -c '
import json, sys
for text in open(sys.argv[1], encoding="utf-8"):
    line = json.loads(text)
    if line["record"] == "run": print(json.dumps(eval(sys.argv[2], {"run": line}), sort_keys=True, ensure_ascii=False))
' "$1" "$2"
}

# The table: name, the command typed, the options the scan must find (literally).
cases=(
  quoted_folder_with_blank
  'TestKVE.exe /NH /RUN=1 /VXRPATH="..\eng ine é\" /JSON=run.jsonl'
  '{"JSON": "run.jsonl", "NH": "", "RUN": "1", "VXRPATH": "..\\eng ine é\\"}'
  quoted_folder_first
  'TestKVE.exe /VXRPATH="..\eng ine é\" /NH /RUN=1 /JSON=run.jsonl'
  '{"JSON": "run.jsonl", "NH": "", "RUN": "1", "VXRPATH": "..\\eng ine é\\"}'
  quoted_folder_without_blank
  'TestKVE.exe /NH /RUN=1 /VXRPATH="..\eng\" /JSON=run.jsonl'
  '{"JSON": "run.jsonl", "NH": "", "RUN": "1", "VXRPATH": "..\\eng\\"}'
  quote_inside_a_value
  'TestKVE.exe /NH /ASSIGN=a"b /LEVEL=2 /JSON=run.jsonl'
  '{"ASSIGN": "a\"b", "JSON": "run.jsonl", "LEVEL": "2", "NH": ""}'
  options_in_the_program_path
  '"a-b c\TestKVE.exe" /STRICT /NH /JSON=run.jsonl'
  '{"B": "", "JSON": "run.jsonl", "NH": "", "STRICT": ""}'
)
for ((i = 0; i < ${#cases[@]}; i += 3)); do
  name=${cases[i]} line=${cases[i + 1]} expected=${cases[i + 2]}
  rm -f "$home/run.jsonl"
  run_bat "$home" "$name" "$line"
  options=$(record_field "$home/run.jsonl" 'run["options"]' 2>/dev/null || true)
  expected=$(python3 -c 'import json, sys; print(json.dumps(json.loads(sys.argv[1]), sort_keys=True, ensure_ascii=False))' "$expected")
  if [[ $options != "$expected" ]]; then
    fail "$name: the options are ${options:-missing}, not $expected"
  elif [[ $(cat "$work/$name.code") != 0 ]] || grep -q 'Error Code' "$work/$name.txt" || [[ -s $work/$name.err ]]; then
    fail "$name: the run failed (exit $(cat "$work/$name.code")): $(cat "$work/$name.txt" "$work/$name.err")"
  else
    echo "ok: $name"
  fi
done

# The record names the engine with one kind of separator, the system's.
engine_path=$(record_field "$home/run.jsonl" 'run["engine"]["path"]' 2>/dev/null || true)
[[ $engine_path == '".\\vxr.exe"' ]] && echo "ok: engine path" || fail "engine path: $engine_path, not .\\vxr.exe"

# The harness's own folder is `eng ine é`, and its VXR.INI is read: the engine writes its reports
# where the INI says; the monitor writes its log. The reference engine logs its process ID and
# the size of its own file.
sed -i 's/^ReportDir=.*/ReportDir=from_ini/' "$home/VXR.INI"
# The monitor's pauses, a tenth of the real ones (a test-only setting): what it writes is checked.
run_bat "$home" stress 'set VXR_REF_START_LOG=starts.log' 'set TESTKVE_MONITOR_SPEEDUP=10' 'TestKVE.exe /NH /RUN=2 /PERFMON'
size=$(stat -c %s "$home/vxr.exe")
if [[ ! -s $home/from_ini/settings.txt ]]; then
  fail "stress: VXR.INI in 'eng ine é' was not read (no from_ini/settings.txt): $(cat "$work/stress.txt")"
elif ! grep -q 'KVE Finished' "$home/PerfReport/perfCounter.log" 2>/dev/null; then
  fail "stress: the monitor wrote no log in 'eng ine é': $(cat "$work/stress.txt")"
elif [[ $(tr -d '\r' <"$home/starts.log" | awk '{ print $2 }' | sort -u) != "$size" ]] ||
     [[ $(wc -l <"$home/starts.log") != 2 ]]; then
  fail "stress: the start log does not hold two starts of a $size-byte engine: $(cat "$home/starts.log" 2>/dev/null)"
else
  echo "ok: stress runs in 'eng ine é'"
fi

# An engine file that is there but broken is refused for what it is; only a missing one draws
# the missing-engine message, with its folder spelt as the user spells it.
python3 -c 'import sys; p = sys.argv[1]; b = bytearray(open(p, "rb").read()); b[200] ^= 0xFF; open(p, "wb").write(b)' \
  "$work/bad é/vxr.exe"
run_bat "$home" broken 'TestKVE.exe /NH /RUN=1 /VXRPATH="..\bad é"'
if grep -q 'no engine file' "$work/broken.err"; then
  fail "broken: a broken engine was called missing: $(cat "$work/broken.err")"
elif ! grep -q 'VXR_LIB_' "$work/broken.txt"; then
  fail "broken: the broken engine was not refused: $(cat "$work/broken.txt")"
else
  echo "ok: broken engine"
fi
run_bat "$home" missing 'TestKVE.exe /NH /RUN=1 /VXRPATH="..\missing é\"'
windows_work="Z:${work//\//\\}"
expected="testkve: no engine file vxr.exe in the engine folder $windows_work\\missing é (set it with /VXRPATH=)"
if [[ $(tr -d '\r' <"$work/missing.err") == "$expected" ]]; then
  echo "ok: missing engine"
else
  fail "missing: standard error is '$(cat "$work/missing.err")', not '$expected'"
fi

# A drive-relative PatternDir is drive C:'s current folder joined with it: the one cmd last
# visited there, or its root when it visited none. The engine receives it as the pattern folder
# (setting 0x00000001).
sed -i 's/^PatternDir=.*/PatternDir=C:ptn/; s/^ReportDir=.*/ReportDir=report/' "$home/VXR.INI"
# The report writes a backslash as two.
pattern_dir() { grep -a '^0x00000001 ' "$home/report/settings.txt" | cut -d' ' -f3- | sed 's/\\\\/\\/g'; }
run_bat "$home" drive_relative 'cd /d C:\windows' 'cd /d "%~dp0"' 'TestKVE.exe /NH /RUN=1'
got=$(pattern_dir)
[[ $got == 'C:\windows\ptn' ]] && echo "ok: drive-relative PatternDir" ||
  fail "drive-relative: the engine got the pattern folder '$got', not C:\\windows\\ptn"
rm -f "$home/report/settings.txt"
run_bat "$home" drive_root 'TestKVE.exe /NH /RUN=1'
got=$(pattern_dir)
[[ $got == 'C:\ptn' ]] && echo "ok: drive-relative PatternDir, drive not visited" ||
  fail "drive-relative: the engine got the pattern folder '$got', not C:\\ptn"
exit $((failures > 0))
