# What every Windows test script shares, sourced first (after its arguments are read): Wine's
# programs, a temporary folder $work that goes when the script ends, the count of failures and
# `fail`, and a Linux path as Windows sees it.
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# own_wine_prefix: a Wine prefix of the script's own in $work/prefix, for the tests that change
# what a prefix keeps (the service database); start_wine makes it, and its server is ended
# before $work goes.
own_wine_prefix() {
  export WINEPREFIX=$work/prefix WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
  trap 'stop_wine; rm -rf "$work"' EXIT
}
start_wine() { mkdir -p "$WINEPREFIX" && "$wineserver" -p </dev/null >/dev/null 2>&1 && "$wine" wineboot </dev/null >/dev/null 2>&1; }
stop_wine() { "$wineserver" -k </dev/null >/dev/null 2>&1 || true; "$wineserver" -w </dev/null >/dev/null 2>&1 || true; }
