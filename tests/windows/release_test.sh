#!/usr/bin/env bash
# The Windows release of this tree, made by scripts/release-windows and used under Wine as a
# user would: the zip holds the programs (of the tree's width), the documents, the SDK and, in a
# development-key build, the signed sample engine folder; the installer, run silently with
# /PATH, puts it under Program Files with an Apps & features entry of the version and its bin
# folder on the PATH; the installed TestKVE.exe shows its usage and runs the sample engine
# twice; an engine built outside the tree against the installed SDK with the mingw toolchain,
# given its version and signed by the installed vxrtool.exe, runs under the installed harness;
# the uninstaller leaves nothing in Program Files, the uninstall keys or the PATH.
# usage: release_test.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
host=$(cd "$2" && pwd)
source_dir=$(cd "$3" && pwd)
source "$(dirname "$0")/wine_common.sh"
# run_wine ARGS...: a Windows program under Wine, its output without carriage returns.
run_wine() { "$wine" "$@" </dev/null 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
drive_c=$("$wine" winepath -u 'C:\' 2>/dev/null | tr -d '\r')
installed_unix="$drive_c/Program Files/TestKVE"
installed='C:\Program Files\TestKVE'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TestKVE'
environment_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'

# An earlier run that ended half-way may have left its installation: it goes first.
[[ -e $installed_unix/Uninstall.exe ]] && run_wine "$installed\\Uninstall.exe" /S >/dev/null || true

TESTKVE_HOST_BUILD=$host "$source_dir/scripts/release-windows" --tree "$build" --out "$work/release" >"$work/made"
zip=$(grep '\.zip$' "$work/made")
setup=$(grep 'setup\.exe$' "$work/made")
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
[[ ${zip##*/} == "testkve-$version-dev-win64.zip" ]] || fail "zip named ${zip##*/}"
[[ ${setup##*/} == "testkve-$version-dev-win64-setup.exe" ]] || fail "installer named ${setup##*/}"

# The zip's files, and the width of every program in it.
unzip -q "$zip" -d "$work/unzipped"
top=$work/unzipped/testkve-$version-dev-win64
for file in bin/TestKVE.exe bin/TestSrv.exe bin/vxrtool.exe bin/testkve-compare.exe README.md LICENSE.txt \
            doc/testkve.txt doc/vxrtool.txt doc/testkve-compare.txt include/testkve/vxr_lib.h \
            include/testkve/engine_sdk/engine_settings.h lib/libtestkve_engine_sdk.a \
            lib/cmake/TestKVE/TestKVEConfig.cmake engine/vxr.exe engine/vxr64.exe engine/VXR.INI engine/vxr.ptn \
            share/testkve/development-only-signing-key.pem; do
  [[ -f $top/$file ]] || fail "the zip has no $file"
done
for program in "$top"/bin/*.exe; do
  [[ $(file -b "$program") == "PE32+ executable (console) x86-64"* ]] || fail "${program##*/}: $(file -b "$program")"
done
grep -q 'osslsigncode' "$top/doc/vxrtool.txt" || fail "the manual is not in doc/"

run_wine "$setup" /S /PATH >/dev/null || fail "the installer failed"
for file in bin/TestKVE.exe bin/TestSrv.exe engine/vxr.exe lib/cmake/TestKVE/TestKVEConfig.cmake Uninstall.exe; do
  [[ -f $installed_unix/$file ]] || fail "not installed: $file"
done
entry=$(run_wine reg query "$uninstall_key") || fail "no Apps & features entry"
grep -qE "DisplayVersion +REG_SZ +$version\$" <<<"$entry" || fail "the entry's version: $entry"
run_wine reg query "$environment_key" /v Path | grep -qF "$installed\\bin" || fail "bin is not on the PATH"

usage=$(run_wine "$installed\\bin\\TestKVE.exe" '/?' || true)
grep -qF "TestKVE   Ver 5.0-1105" <<<"$usage" || fail "the installed TestKVE.exe /? printed: $usage"
# The line as typed in cmd, so that the quoted folder reaches the harness as written.
printf '@"%s\\bin\\TestKVE.exe" /NH /RUN=2 /VXRPATH="%s\\engine\\"\r\n' "$installed" "$installed" >"$work/run.bat"
runs=$(cd "$work" && run_wine cmd /c run.bat || true)
if [[ $(grep -c '^Launch KVE program$' <<<"$runs") -eq 2 && $runs != *"Error Code"* ]]; then
  echo "ok: the installed harness runs the sample engine"
else
  fail "the installed harness with the sample engine printed: $runs"
fi

# The engine SDK: an engine built outside the tree with the mingw toolchain against the installed
# package, given its version and signed by the installed vxrtool.exe, run by the installed harness.
engine_build=$work/engine-build
if cmake -S "$source_dir/tests/install/tiny_engine" -B "$engine_build" -G Ninja \
     -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchains/mingw-w64-x86_64.cmake" \
     -DTestKVE_DIR="$installed_unix/lib/cmake/TestKVE" >"$work/sdk.log" 2>&1 &&
   cmake --build "$engine_build" >>"$work/sdk.log" 2>&1; then
  folder=$work/tiny
  mkdir "$folder"
  cp "$engine_build/tiny_engine.exe" "$folder/vxr.exe"
  cp "$source_dir/tools/engine_folder/VXR.INI" "$installed_unix/share/testkve/development-only-signing-key.pem" "$folder/"
  (cd "$folder" && run_wine "$installed\\bin\\vxrtool.exe" version set --file-version 3.5.0.1 --special-build 1001 \
     --key development-only-signing-key.pem vxr.exe) >"$work/signing" || fail "vxrtool: $(cat "$work/signing")"
  output=$(cd "$folder" && run_wine "$installed\\bin\\TestKVE.exe" /NH || true)
  if grep -qx "tiny engine: 13 settings, execute mode 0x00010001" <<<"$output" &&
     grep -qx "Error Code: VXR_RET_REBOOT_MACHINE" <<<"$output"; then
    echo "ok: an engine built against the installed SDK runs"
  else
    fail "the engine built against the SDK: $output"
  fi
else
  fail "the engine did not build against the installed SDK:"; cat "$work/sdk.log"
fi

# The uninstaller copies itself away and returns at once; run from a copy (_? names the folder,
# unquoted, to the end of the line: typed in cmd) it works in place and returns when done, as
# the copy does.
cp "$installed_unix/Uninstall.exe" "$work/uninstall.exe"
printf '@uninstall.exe /S _?=%s\r\n' "$installed" >"$work/uninstall.bat"
(cd "$work" && run_wine cmd /c uninstall.bat) >/dev/null || fail "the uninstaller failed"
if [[ -e $installed_unix ]]; then fail "left in Program Files: $(cd "$installed_unix" && find . | head)"; fi
run_wine reg query "$uninstall_key" >/dev/null && fail "the uninstall key is still there"
run_wine reg query "$environment_key" /v Path | grep -qF 'TestKVE' && fail "the PATH still names TestKVE"
[[ $failures -eq 0 ]] && echo "ok: installed, used and removed"
exit $((failures > 0))
