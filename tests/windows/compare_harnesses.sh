# The comparisons of the Windows harness with the Linux one; sourced after wine_common.sh and
# after the Linux engine folder is copied to $work/linux.

# compare NAME [DIR=FOLDER] [ENV=VALUE...] -- ARGS...: the standard output and exit code of the
# Windows harness under Wine in $work/FOLDER (default win) against the Linux harness's in
# $work/linux.
compare() {
  local name=$1 folder=win env=()
  shift
  if [[ $1 == DIR=* ]]; then folder=${1#DIR=}; shift; fi
  while [[ $1 != -- ]]; do env+=("$1"); shift; done
  shift
  local linux_code=0 win_code=0
  (cd "$work/linux" && env "${env[@]}" ./testkve "$@" >"$work/$name.linux" 2>/dev/null) || linux_code=$?
  (cd "$work/$folder" && env "${env[@]}" "$wine" TestKVE.exe "$@" </dev/null 2>/dev/null | tr -d '\r' >"$work/$name.win") ||
    win_code=$?
  if ! diff -u "$work/$name.linux" "$work/$name.win"; then
    fail "$name: the output differs"
  elif [[ $linux_code != "$win_code" ]]; then
    fail "$name: exit code $win_code on Windows, $linux_code on Linux"
  else
    echo "ok: $name"
  fi
}

# same_settings NAME FOLDER: the settings the engine in $work/FOLDER received are the Linux
# engine's, but for the engine folder's own path.
same_settings() {
  if diff <(grep -v '^0x00000001 ' "$work/linux/report/settings.txt") \
          <(grep -v '^0x00000001 ' "$work/$2/report/settings.txt"); then
    echo "ok: $1: the engine received the same settings"
  else
    fail "$1: the engine received other settings"
  fi
}
