#!/usr/bin/env bash
# The Windows harness under Wine with engines that only its later checks tell apart: with no
# appended signature, only an Authenticode one, an engine signed by the engine maker's
# certificate runs and one signed in another name is refused as a broken signature is; an
# engine whose version resource is older than 3.5 is refused as an invalid engine.
# usage: engine_checks_test.sh WINDOWS_BUILD_DIR
set -euo pipefail
build=$1
wine=/usr/lib/wine/wine64
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for who in maker other old_version; do
  cp -r "$build/engine" "$work/$who"
  cp "$build/code_signed/$who.exe" "$work/$who/vxr.exe"
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
if grep -q '^Error Code: VXR_LIB_INVALID_VXREXE$' "$work/old_version.out"; then
  echo "ok: an engine of version 3.4 is refused"
else
  echo "FAIL: an engine of version 3.4 was not refused:"; cat "$work/old_version.out"; failures=$((failures + 1))
fi
exit $((failures > 0))
