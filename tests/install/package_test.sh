#!/usr/bin/env bash
# Makes the Debian package of this build, checks what it holds, runs lintian on it (no error
# allowed), installs it with dpkg, uses the installed programs as a user of the package would
# (man pages, testkve /?, the ready engine folder, the sample service, completion of vxrtool),
# and removes it again.
# Usage: package_test.sh BUILD_DIR
# Exit status 77 (skipped) when not root or when a testkve package is installed already: the
# test never replaces or removes a package that it did not install itself.
set -euo pipefail
build=$1
skip=77
if [[ $(id -u) -ne 0 ]]; then
  echo "skipped: installing a package needs root"
  exit $skip
fi
work=$(mktemp -d)
installed=0
# dpkg refuses at once while another package manager (apt, an unattended upgrade, a set-up
# script) holds its lock; that is no fault of the package, so the test waits for the lock (up
# to ten minutes) instead of failing and leaving the package installed.
dpkg_when_free() {
  local tries=0
  until dpkg "$@" 2>"$work/dpkg.err"; do
    if ! grep -q "lock" "$work/dpkg.err" || ((tries++ >= 600)); then
      cat "$work/dpkg.err" >&2
      return 1
    fi
    sleep 1
  done
}
cleanup() {
  if [[ $installed -eq 1 ]]; then dpkg_when_free -r testkve >/dev/null 2>&1 || echo "cleanup: dpkg -r testkve failed"; fi
  rm -rf "$work"
}
trap cleanup EXIT
status=0
# shellcheck source=tests/install/steps.sh
source "$(dirname "$0")/steps.sh"

# One package test at a time on this machine (other build trees, other work trees): they
# install and remove the same package.
exec 9>/var/lock/testkve-package-test.lock
flock 9
if dpkg-query -W -f='${Status}' testkve 2>/dev/null | grep -q "installed"; then
  echo "skipped: a testkve package is installed on this machine; the test leaves it alone"
  exit $skip
fi

step cpack -G DEB -B "$work/cpack" --config "$build/CPackConfig.cmake"
deb=$(find "$work/cpack" -maxdepth 1 -name 'testkve_*.deb')
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")

# ---- What the package says and holds ----
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "package version $(dpkg-deb -f "$deb" Version), build's $version"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ $maintainer == *@*.* && $maintainer != *localhost* ]] || fail "maintainer without a real address: $maintainer"
[[ $(dpkg-deb -f "$deb" Description | wc -l) -gt 3 ]] || fail "no extended description"
echo "Installed-Size: $(dpkg-deb -f "$deb" Installed-Size) KiB"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for file in /usr/bin/testkve /usr/bin/testkve-compare /usr/bin/vxrtool /usr/lib/testkve/TestSrv.exe /usr/lib/testkve/vxr_ref \
            /usr/lib/testkve/engine/vxr.exe /usr/lib/testkve/engine/VXR.INI /usr/lib/testkve/engine/vxr.ptn \
            /usr/share/testkve/development-only-signing-key.pem /usr/share/doc/testkve/copyright \
            /usr/share/doc/testkve/changelog.gz /usr/share/doc/testkve/README.md \
            /usr/share/man/man1/testkve.1.gz /usr/share/man/man1/testkve-compare.1.gz \
            /usr/share/man/man1/vxrtool.1.gz /usr/share/bash-completion/completions/testkve \
            /usr/share/bash-completion/completions/testkve-compare /usr/share/bash-completion/completions/vxrtool \
            /usr/include/testkve/engine_sdk/mailslot_writer.h; do
  grep -qxF "$file" "$work/contents" || fail "not in the package: $file"
done
if grep -q '^/usr/bin/.*TestSrv' "$work/contents"; then fail "the sample service is on everyone's PATH"; fi

# ---- lintian: no error; what else it says is shown ----
if command -v lintian >/dev/null; then
  lintian --allow-root --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
  sed 's/^/lintian: /' "$work/lintian.log"
  if grep -q '^E: ' "$work/lintian.log"; then fail "lintian reports errors"; fi
else
  fail "lintian is not installed (scripts/setup installs it)"
fi

# ---- Installed, the programs work as a user of the package meets them ----
step dpkg_when_free -i "$deb"
installed=1
for file in /usr/bin/testkve /usr/bin/testkve-compare /usr/bin/vxrtool /usr/lib/testkve/TestSrv.exe /usr/lib/testkve/vxr_ref; do
  file -L "$file" | grep -q ', stripped' || fail "not stripped: $file"
done
for page in testkve vxrtool; do
  MANWIDTH=80 man "$page" 2>"$work/man.err" | grep -q "^ *$page - " || fail "man $page: no NAME line"
  [[ ! -s $work/man.err ]] || fail "man $page: $(cat "$work/man.err")"
done

home=$work/home
mkdir -m 700 "$home"
export XDG_RUNTIME_DIR=$home TESTKVE_SERVICE_DB=$home/services
usage=$(cd "$home" && testkve '/?')
for line in "Usage: [Command Name] {[option]} {[file|directory|@FileList]}" \
            "   /VER                   Show KVE and Patterns version"; do
  grep -qxF -- "$line" <<<"$usage" || fail "testkve /? did not print: $line"
done

# The ready engine folder, copied as the manual page shows, runs under the installed harness.
cp -r /usr/lib/testkve/engine "$home/engine"
run=$(cd "$home/engine" && testkve /NH /RUN=2 /STRICT 2>&1) || fail "testkve /RUN=2 /STRICT failed: $run"
[[ $(grep -c '^Launch KVE program$' <<<"$run") -eq 2 ]] || fail "the ready engine folder did not run twice: $run"

# The sample service, linked into the folder as the user guide shows, runs the installed harness.
ln -s /usr/lib/testkve/TestSrv.exe "$home/engine/TestSrv.exe"
(cd "$home/engine" && testkve /NH /SERVICE /RUN=1) >"$work/service.out" 2>&1 || fail "testkve /SERVICE failed"
log=$TESTKVE_SERVICE_DB/TestSrv.log
# The service runs detached: wait for its end line, then read what it ran.
until grep -q ' end: ' "$log" 2>/dev/null; do sleep 0.1; done
grep -q 'end: harness exit status 0' "$log" || fail "the service's harness failed: $(cat "$log")"
grep -qx 'Launch KVE program' "$log" || fail "the service ran no engine: $(cat "$log")"

# Completion of "vxrtool " offers the commands.
completed=$(bash -c 'source /usr/share/bash-completion/completions/vxrtool
  COMP_WORDS=(vxrtool ""); COMP_CWORD=1; COMP_LINE="vxrtool "; COMP_POINT=8
  _vxrtool; printf "%s\n" "${COMPREPLY[@]}"')
for command in sign verify codesign codeverify version ptn; do
  grep -qx "$command" <<<"$completed" || fail "completion of 'vxrtool ' does not offer $command"
done

# ---- Removed, nothing of it is left ----
step dpkg_when_free -r testkve
installed=0
for file in /usr/bin/testkve /usr/lib/testkve /usr/share/testkve /usr/share/man/man1/testkve.1.gz; do
  [[ ! -e $file ]] || fail "left after dpkg -r: $file"
done
exit $status
