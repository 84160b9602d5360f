#!/usr/bin/env bash
# scripts/setup on a machine with two architectures, against a package database of fakes
# (dpkg-query, dpkg and apt-get on PATH that record what they are asked): a package counts as
# installed per architecture, one installed for another architecture only is installed for the
# one named, a missing architecture is added first, and nothing goes to standard output.
# usage: setup_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
source "$(dirname "$0")/steps.sh"
mkdir "$work/bin"

# The fake database: $work/db holds "package status architecture" lines for the exceptions;
# any other package is installed for all architectures.
cat >"$work/bin/dpkg-query" <<'FAKE'
#!/usr/bin/env bash
name=${!#}
if grep -q "^$name " "$FAKE_DB"; then
  grep "^$name " "$FAKE_DB" | while read -r _ state arch; do echo "install ok $state $arch"; done
else
  echo "install ok installed all"
fi
FAKE
cat >"$work/bin/dpkg" <<'FAKE'
#!/usr/bin/env bash
case $1 in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) cat "$FAKE_FOREIGN" ;;
  *) echo "dpkg $*" >>"$FAKE_CALLS" ;;
esac
FAKE
cat >"$work/bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_CALLS"
FAKE
chmod +x "$work/bin/"*

# case NAME FOREIGN DB_LINES EXPECTED_CALLS: runs setup and compares the calls it made.
case_of() {
  local name=$1
  printf '%s' "$2" >"$work/foreign"
  printf '%s' "$3" >"$work/db"
  : >"$work/calls"
  if ! PATH="$work/bin:$PATH" FAKE_DB=$work/db FAKE_FOREIGN=$work/foreign FAKE_CALLS=$work/calls \
       "$source_dir/scripts/setup" >"$work/out" 2>"$work/err"; then
    fail "$name: setup failed: $(cat "$work/err")"
    return
  fi
  [[ -s $work/out ]] && fail "$name: setup wrote to standard output: $(cat "$work/out")"
  # Only the calls that matter, in order: adding an architecture, updating (which the machine's
  # own package lists may call for too: kept only after an architecture was added), installing.
  local calls
  calls=$(sed -E 's/^apt-get install .* -o DPkg::Lock::Timeout=600 /apt-get install /; s/^apt-get update.*/apt-get update/' \
          "$work/calls" | awk '/^dpkg --add/ { added = 1 } !/^apt-get update/ || added')
  if [[ $calls != "$4" ]]; then
    fail "$name: setup called"$'\n'"$calls"$'\n'"expected"$'\n'"$4"
  fi
}

# libgnutls30 installed for amd64 and half installed for i386 (as wine32 leaves it at times).
case_of nothing_missing i386 $'libgnutls30 installed amd64\nlibgnutls30 installed i386\n' ''
grep -q . "$work/err" && fail "nothing_missing: setup said: $(cat "$work/err")"
case_of one_architecture_missing i386 $'libgnutls30 installed amd64\nlibgnutls30 unpacked i386\n' \
  'apt-get install libgnutls30:i386'
grep -qx 'setup: installing libgnutls30:i386' "$work/err" || fail "one_architecture_missing: no message on standard error"
case_of native_missing i386 $'libgnutls30 installed i386\n' 'apt-get install libgnutls30'
case_of architecture_added '' $'wine32 not-installed i386\nlibgnutls30 installed amd64\n' \
  $'dpkg --add-architecture i386\napt-get update\napt-get install wine32:i386 libgnutls30:i386'
exit $status
