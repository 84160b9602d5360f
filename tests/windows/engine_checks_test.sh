#!/usr/bin/env bash
# The Windows harness under Wine with engines that only its later checks tell apart: with no
# appended signature, only an Authenticode one, an engine signed by the engine maker's
# certificate runs and one signed in another name is refused as a broken signature is; an
# engine whose version resource is older than 3.5 is refused as an invalid engine; the maker's
# engine with a second certificate entry (another maker's) in its certificate table is refused
# as a broken signature is.
# usage: engine_checks_test.sh WINDOWS_BUILD_DIR
set -euo pipefail
build=$1
source "$(dirname "$0")/wine_common.sh"
# The maker's engine with the other's certificate entry appended to its certificate table as a
# second entry (the security directory, data directory 4, grown to hold it).
python3 - "$build/code_signed/maker.exe" "$build/code_signed/other.exe" "$work/two.exe" <<'PYTHON'
import struct, sys
def entry_field(image):
    header = struct.unpack_from('<I', image, 0x3C)[0] + 24
    wide = struct.unpack_from('<H', image, header)[0] == 0x20B
    return header + (112 if wide else 96) + 4 * 8
maker = bytearray(open(sys.argv[1], 'rb').read())
other = open(sys.argv[2], 'rb').read()
table, size = struct.unpack_from('<II', maker, entry_field(maker))
assert table + size == len(maker), 'the certificate table does not end the file'
other_table = struct.unpack_from('<I', other, entry_field(other))[0]
length = struct.unpack_from('<I', other, other_table)[0]
entry = other[other_table:other_table + (length + 7) // 8 * 8]
struct.pack_into('<I', maker, entry_field(maker) + 4, size + len(entry))
open(sys.argv[3], 'wb').write(bytes(maker) + entry)
PYTHON
for who in maker other old_version two; do
  cp -r "$build/engine" "$work/$who"
  if [[ $who == two ]]; then cp "$work/two.exe" "$work/$who/vxr.exe"; else cp "$build/code_signed/$who.exe" "$work/$who/vxr.exe"; fi
  (cd "$work/$who" && "$wine" TestKVE.exe /NH /RUN=1 </dev/null 2>/dev/null | tr -d '\r' >"$work/$who.out") || true
done
if grep -q 'Error Code' "$work/maker.out"; then
  echo "FAIL: an engine code-signed by its maker was refused:"; cat "$work/maker.out"; failures=$((failures + 1))
elif ! grep -q '^Launch KVE program$' "$work/maker.out"; then
  echo "FAIL: an engine code-signed by its maker did not run:"; cat "$work/maker.out"; failures=$((failures + 1))
else
  echo "ok: the maker's code-signed engine runs"
fi
if grep -q '^Error Code: VXR_LIB_NOT_INIT$' "$work/other.out"; then
  echo "ok: an engine code-signed in another name is refused"
else
  echo "FAIL: an engine code-signed in another name was not refused:"; cat "$work/other.out"; failures=$((failures + 1))
fi
if grep -q '^Error Code: VXR_LIB_NOT_INIT$' "$work/two.out"; then
  echo "ok: an engine with two certificate entries is refused"
else
  echo "FAIL: an engine with two certificate entries was not refused:"; cat "$work/two.out"; failures=$((failures + 1))
fi
if grep -q '^Error Code: VXR_LIB_INVALID_VXREXE$' "$work/old_version.out"; then
  echo "ok: an engine of version 3.4 is refused"
else
  echo "FAIL: an engine of version 3.4 was not refused:"; cat "$work/old_version.out"; failures=$((failures + 1))
fi
exit $((failures > 0))
