#!/usr/bin/env bash
# Runs the bash completion of testkve and vxrtool as bash would (COMP_WORDS, COMP_LINE ...)
# and checks what it offers against what the programs accept: every option of `testkve /?`,
# every command of `vxrtool --help` and every option of each command's --help.
# Usage: completion_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
status=0
fail() {
  echo "$*"
  status=1
}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/patterns" "$folder/keys"
touch "$folder/patterns/vxr.ptn" "$folder/keys/dev.pem"

# complete PROGRAM LINE: what the completion offers for LINE (cursor at its end), one per line,
# sorted. The words are split as bash splits them with its default word breaks, "=" among them.
complete_line() {
  local program=$1 line=$2
  (cd "$folder" && bash -c '
    source "$1/completion/$2"
    COMP_LINE=$3; COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"${COMP_LINE//=/ = }"
    [[ $COMP_LINE == *" " || $COMP_LINE == *= ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    "_$2"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$source" "$program" "$line") | sort
}
expect() {
  local program=$1 line=$2 expected
  expected=$(printf '%s\n' "${@:3}" | sort)
  local got
  got=$(complete_line "$program" "$line")
  [[ $got == "$expected" ]] || fail "'$line' offers [$(echo $got)], expected [$(echo $expected)]"
}

# testkve: every option of the table is offered, in either lead character and any case typed.
table=$(cd / && "$build/bin/testkve" '/?' | sed -n 's|^   \(/[A-Z0-9?]*\)\(=\?\).*|\1\2|p')
offered=$(complete_line testkve "testkve /")
for option in $table; do
  grep -qxF -- "$option" <<<"$offered" || fail "'testkve /' does not offer $option"
done
expect testkve "testkve /pt" /PTN= /PTNPATH=
expect testkve "testkve -ver" -VER
expect testkve "testkve /NH /sum" /SUMMARY
expect testkve "testkve /ptn=patterns/v" patterns/vxr.ptn
expect testkve "testkve /PTNPATH=pat" patterns
expect testkve "testkve /LEVEL=" 0 1 2 3 4 5
expect testkve "testkve /NOSUCH"

# vxrtool: the commands of the usage, the actions of version and ptn, each command's options.
usage=$("$build/bin/vxrtool" --help)
commands=$(sed -n 's/^  \([a-z]\+\) .*/\1/p' <<<"$usage" | sort -u)
# shellcheck disable=SC2086  # the commands are words
expect vxrtool "vxrtool " $commands --help -h --version
expect vxrtool "vxrtool ptn " build version list find info --help
expect vxrtool "vxrtool version " set show --help
for command in "sign" "codesign" "version set" "ptn build"; do
  options=$("$build/bin/vxrtool" $command --help | grep -o -- '--[a-z-]\+' | sort -u)
  # shellcheck disable=SC2086
  expect vxrtool "vxrtool $command --" $options --help
done
expect vxrtool "vxrtool ptn build --mode " 0x81 0x01 none
expect vxrtool "vxrtool sign --key keys/" keys/dev.pem
expect vxrtool "vxrtool sign --key=keys/" keys/dev.pem
expect vxrtool "vxrtool verify patterns/" patterns/vxr.ptn
expect vxrtool "vxrtool version set --file-version "
# testkve-compare: every option of its --help, the gate's figures, record files.
options=$("$build/bin/testkve-compare" --help | grep -o -- '--[a-z-]\+' | sort -u)
# shellcheck disable=SC2086
expect testkve-compare "testkve-compare --" $options
expect testkve-compare "testkve-compare --fail-if fa" "failures>0"
expect testkve-compare "testkve-compare patterns/" patterns/vxr.ptn
exit $status
