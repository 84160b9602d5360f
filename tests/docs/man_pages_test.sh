#!/usr/bin/env bash
# Renders the built manual pages with man -l, with groff's warnings on, and checks that they
# document what the programs offer: every option of `testkve /?` and every command and option
# of `vxrtool --help`.
# Usage: man_pages_test.sh BUILD_DIR
set -euo pipefail
build=$1
status=0
fail() {
  echo "$*"
  status=1
}

render() {
  local errors
  errors=$(mktemp)
  MANWIDTH=100 man --warnings -l "$build/man/$1.1" 2>"$errors"
  [[ ! -s $errors ]] && rm -f "$errors" && return
  fail "man -l $1.1 warned: $(cat "$errors")"
  rm -f "$errors"
}
testkve_page=$(render testkve)
vxrtool_page=$(render vxrtool)

for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS"; do
  grep -qx "$section" <<<"$testkve_page" || fail "testkve(1) has no $section section"
done
for section in NAME SYNOPSIS COMMANDS "EXIT STATUS"; do
  grep -qx "$section" <<<"$vxrtool_page" || fail "vxrtool(1) has no $section section"
done

# Each option of the table starts a line of the page, as the term it explains.
options=$(cd / && "$build/bin/testkve" '/?' | sed -n 's|^   \(/[A-Z0-9?]*\).*|\1|p')
[[ $(wc -l <<<"$options") -gt 30 ]] || fail "could not read the option table: $options"
for option in $options; do
  grep -qE "^ +${option//\?/\\?}([=,]|\$)" <<<"$testkve_page" || fail "testkve(1) does not explain $option"
done

# Each command and each option of vxrtool's usage appear in the page's command list.
usage=$("$build/bin/vxrtool" --help)
for command in $(sed -n 's/^  \([a-z]\+\)\( [a-z]\+\)\? .*/\1\2/p' <<<"$usage" | tr ' ' '_'); do
  grep -qE "^ +${command//_/ }( |\$)" <<<"$vxrtool_page" || fail "vxrtool(1) does not explain ${command//_/ }"
done
for option in $(grep -o -- '--[a-z-]\+' <<<"$usage" | sort -u); do
  grep -qF -- "$option" <<<"$vxrtool_page" || fail "vxrtool(1) does not mention $option"
done
exit $status
