#!/usr/bin/env bash
# The hand-over across widths: the Windows harness of this tree, under Wine, starts the 32-bit
# engines (vxr.exe and its kin) and, with /X64, the 64-bit ones (vxr64.exe and its kin), one of
# which is of the other width than the harness. Each engine is run from a folder that holds only
# the engines of its width, so a run of the wrong file cannot pass; each receives every setting
# the Linux harness hands its engine, and /DLL, /PL and /TIMEOUT work as on Linux. A tree built
# on a machine that runs no 32-bit program (one-width) has engines of its own width only: the
# same runs then check that each name starts its engine, and say that no width was crossed.
# usage: engine_widths_test.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR by-width|one-width
set -euo pipefail
windows_build=$1
linux_build=$2
layout=$3
source "$(dirname "$0")/wine_common.sh"
cp -r "$linux_build/engine" "$work/linux"
source "$(dirname "$0")/compare_harnesses.sh"

# machine FILE: the machine field of a PE file's header (i386 or x86_64).
machine() {
  python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read(4096)
pe = struct.unpack_from("<I", data, 0x3C)[0]
assert data[pe:pe + 4] == b"PE\0\0", "no PE header"
print({0x14C: "i386", 0x8664: "x86_64"}.get(struct.unpack_from("<H", data, pe + 4)[0], "other"))
PY
}

tree_machine=$(machine "$windows_build/bin/TestKVE.exe")
if [[ $layout == one-width ]]; then
  echo "note: the engine folder holds $tree_machine engines only (this machine runs no 32-bit program):" \
       "no run crosses widths"
fi
names=$(sed -n '1p;2p' "$(dirname "$0")/../../tools/engine_folder/vxr_names.txt" | paste -sd';')
for width in 32 64; do
  option=() engines=(vxr.exe vxr_qa.exe vxr_mem.exe) others=(vxr64.exe vxr64_qa.exe vxr64_mem.exe) expected=i386
  if [[ $width == 64 ]]; then
    option=(/X64) engines=("${others[@]}") others=(vxr.exe vxr_qa.exe vxr_mem.exe) expected=x86_64
  fi
  [[ $layout == one-width ]] && expected=$tree_machine
  folder=w$width
  cp -r "$windows_build/engine" "$work/$folder"
  for engine in "${engines[@]}"; do
    actual=$(machine "$work/$folder/$engine")
    [[ $actual == "$expected" ]] || { fail "$engine is $actual, not $expected"; }
  done
  (cd "$work/$folder" && rm "${others[@]}")

  compare "settings_$width" DIR=$folder -- "/ASSIGN=$names" /LOOP=3 /NH "${option[@]}"
  same_settings "settings_$width" "$folder"
  compare "qa_$width" DIR=$folder -- /NH /RUN=1 /QA "${option[@]}"
  compare "mem_$width" DIR=$folder -- /NH /RUN=1 /MEM "${option[@]}"
  compare "extra_output_$width" DIR=$folder VXR_REF_MESSAGES=3 VXR_REF_MESSAGE_BYTES=64 -- /NH /DLL /RUN=2 "${option[@]}"
  compare "pattern_list_$width" DIR=$folder -- /NH /PL "${option[@]}"
  grep -q '^Pattern List(1): ' "$work/pattern_list_$width.win" ||
    { fail "pattern_list_$width: no list"; }
  compare "timeout_$width" DIR=$folder VXR_REF_SLEEP_MS=60000 -- /NH /TIMEOUT=1 /RUN=2 "${option[@]}"
  # Wine shows the engine by its Windows path (Z:\tmp\...\w64\vxr64.exe): any separator matches.
  if pgrep -f "${work##*/}.$folder.vxr" >/dev/null; then
    fail "timeout_$width: an engine still runs"
  fi
done
exit $((failures > 0))
