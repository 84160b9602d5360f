#!/usr/bin/env bash
# The Windows vxrtool under Wine against the Linux one: a file signed by either verifies with
# the other, and since RSA PKCS #1 v1.5 signatures are deterministic both make the same bytes,
# from a PKCS #8 key and from a PKCS #1 one; a signed pattern file is the same from both; a
# file that holds no RSA key is refused with the file untouched. `version set` writes a version
# resource that the Windows harness reads back: an engine set to 3.4 is refused as invalid, the
# same engine set to 3.5 runs; a code-signed engine loses its certificate table.
# usage: vxrtool_test.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR SOURCE_DIR
set -euo pipefail
windows_build=$1
linux_build=$2
source_dir=$3
source "$(dirname "$0")/wine_common.sh"
linux_tool=$linux_build/bin/vxrtool
cp "$windows_build/bin/vxrtool.exe" "$work/"
cp "$source_dir/tools/keys/dev_signing_key.pem" "$work/pkcs8.pem"
openssl rsa -in "$work/pkcs8.pem" -traditional -out "$work/pkcs1.pem" 2>/dev/null
grep -q 'BEGIN RSA PRIVATE KEY' "$work/pkcs1.pem" || fail "openssl made no PKCS #1 key"
cd "$work"
# windows_tool ARGS...: the Windows vxrtool, its output without carriage returns.
windows_tool() { "$wine" vxrtool.exe "$@" </dev/null 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }

head -c 70000 /dev/urandom >content
for key in pkcs8 pkcs1; do
  cp content "win_$key" && cp content "linux_$key"
  windows_tool sign --key "$key.pem" "win_$key" >/dev/null || fail "$key: the Windows vxrtool did not sign"
  "$linux_tool" sign --key "$key.pem" "linux_$key"
  if "$linux_tool" verify "win_$key" >/dev/null; then echo "ok: $key: Windows-signed verifies on Linux"
  else fail "$key: the Linux vxrtool refuses the Windows signature"; fi
  if windows_tool verify "linux_$key" >/dev/null; then echo "ok: $key: Linux-signed verifies on Windows"
  else fail "$key: the Windows vxrtool refuses the Linux signature"; fi
  cmp -s "win_$key" "linux_$key" || fail "$key: the two signed files differ"
done

cp "$source_dir/tools/engine_folder/vxr_names.txt" names.txt
windows_tool ptn build --version 7 --names names.txt --sign pkcs8.pem --out win.ptn >/dev/null ||
  fail "ptn build --sign on Windows"
"$linux_tool" ptn build --version 7 --names names.txt --sign pkcs8.pem --out linux.ptn
if cmp -s win.ptn linux.ptn && "$linux_tool" verify win.ptn >/dev/null; then echo "ok: signed pattern file"
else fail "the signed pattern files differ or the Windows one does not verify"; fi

echo 'not a key' >not_a_key.pem
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec_key.pem 2>/dev/null
for key in not_a_key ec_key; do
  cp content refused
  status=0
  out=$(windows_tool sign --key "$key.pem" refused) || status=$?
  if [[ $status -eq 1 && $out == *"no RSA private key in $key.pem"* ]] && cmp -s content refused; then
    echo "ok: $key is refused"
  else
    fail "$key: exit $status, '$out', or the file changed"
  fi
done

# version set on a copy of the engine folder's engine: the harness reads the version back.
cp -r "$windows_build/engine" engine
cp vxrtool.exe pkcs8.pem engine/
run_harness() { (cd engine && "$wine" TestKVE.exe /NH /RUN=1 </dev/null 2>/dev/null | tr -d '\r') || true; }
for version in 3.4.0.0 3.5.0.0; do
  (cd engine && windows_tool version set --file-version "$version" --key pkcs8.pem vxr.exe) >/dev/null ||
    fail "version set $version"
  shown=$(cd engine && windows_tool version show vxr.exe)
  [[ $shown == *"$version"* ]] || fail "version show after setting $version: $shown"
  out=$(run_harness)
  if [[ $version == 3.4.0.0 ]]; then
    if [[ $out == *"Error Code: VXR_LIB_INVALID_VXREXE"* ]]; then echo "ok: an engine set to 3.4 is refused"
    else fail "an engine set to 3.4 was not refused: $out"; fi
  elif [[ $out == *"Launch KVE program"* && $out != *"Error Code"* ]]; then
    echo "ok: the engine set to 3.5 runs"
  else
    fail "the engine set to 3.5 did not run: $out"
  fi
done

# An engine code-signed by its maker: version set takes the certificate table out (it could never
# match again) and says so; the engine, signed again with the appended signature, runs.
cp "$windows_build/code_signed/maker.exe" engine/vxr.exe
warning=$(cd engine && windows_tool version set --file-version 3.6.0.0 --key pkcs8.pem vxr.exe)
[[ $warning == *"vxr.exe had a code signature, which no longer matches"* ]] ||
  fail "version set on a code-signed engine: no warning: $warning"
python3 - engine/vxr.exe <<'PYTHON' || fail "the certificate table is still named by the engine"
import struct, sys
image = open(sys.argv[1], 'rb').read()
header = struct.unpack_from('<I', image, 0x3C)[0] + 24
wide = struct.unpack_from('<H', image, header)[0] == 0x20B
sys.exit(struct.unpack_from('<II', image, header + (112 if wide else 96) + 4 * 8) != (0, 0))
PYTHON
out=$(run_harness)
if [[ $out == *"Launch KVE program"* && $out != *"Error Code"* ]]; then echo "ok: a code-signed engine set to 3.6 runs"
else fail "a code-signed engine set to 3.6 did not run: $out"; fi
exit $((failures > 0))
