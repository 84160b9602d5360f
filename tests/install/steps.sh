# What the install tests share; sourced after they have set $work (a temporary folder) and
# $status (0).

# Runs a step quietly and shows its output only when it fails, which ends the test.
step() {
  if ! "$@" >"$work/step.log" 2>&1; then
    echo "failed: $*"
    cat "$work/step.log"
    exit 1
  fi
}

# Reports a failed check; the test goes on and ends with exit status 1.
fail() {
  echo "$*"
  status=1
}
