#!/usr/bin/env bash
# The Windows harness under Wine with an engine that has no appended signature, only an
# Authenticode one: signed by the engine maker's certificate it runs, signed in another name it
# is refused as an engine with a broken signature is.
# usage: code_signed_engine_test.sh WINDOWS_BUILD_DIR
set -euo pipefail
build=$1
wine=/usr/lib/wine/wine64
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for who in maker other; do
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
exit $((failures > 0))
