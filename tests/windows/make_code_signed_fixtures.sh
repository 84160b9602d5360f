#!/usr/bin/env bash
# Authenticode-signed copies of a Windows program for the code-signature tests: signed by a test
# certificate in the engine maker's name, and by one in another name. The certificates are made
# afresh here (self-signed, for code signing) and are good for nothing else.
# usage: make_code_signed_fixtures.sh PROGRAM.exe OUT_DIR
set -euo pipefail
program=$1
out=$2
mkdir -p "$out"
for who in maker other; do
  case $who in
    maker) name='Quillmark, Inc.' ;;
    other) name='Another Maker Ltd' ;;
  esac
  openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=$name" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$out/$who.key" -out "$out/$who.pem" 2>/dev/null
  rm -f "$out/$who.exe"
  osslsigncode sign -certs "$out/$who.pem" -key "$out/$who.key" -h sha256 -n "TestKVE test engine" \
    -in "$program" -out "$out/$who.exe" >/dev/null
done
