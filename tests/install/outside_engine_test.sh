#!/usr/bin/env bash
# Installs this build into a temporary prefix, builds a tiny engine from outside the tree against
# the installed CMake package, gives it version information and signs it with the installed
# vxrtool, and runs the installed testkve on it in an engine folder of its own.
# Usage: outside_engine_test.sh BUILD_DIR SOURCE_DIR CXX_COMPILER [EXTRA_FLAGS]
set -euo pipefail
build=$1
source=$2
compiler=$3
flags=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a step quietly and shows its output only when it fails.
step() {
  if ! "$@" >"$work/step.log" 2>&1; then
    echo "failed: $*"
    cat "$work/step.log"
    exit 1
  fi
}

prefix=$work/prefix
step cmake --install "$build" --prefix "$prefix"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
step cmake -S "$source/tests/install/tiny_engine" -B "$work/engine-build" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$compiler" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags"
step cmake --build "$work/engine-build"

folder=$work/engines
mkdir "$folder"
cp "$work/engine-build/tiny_engine" "$folder/vxr.exe"
cp "$source/tools/engine_folder/VXR.INI" "$folder/VXR.INI"
step "$prefix/bin/vxrtool" version set --file-version 3.5.0.1 --special-build 1001 "$folder/vxr.exe"
step "$prefix/bin/vxrtool" sign --key "$source/tools/keys/dev_signing_key.pem" "$folder/vxr.exe"

output=$(cd "$folder" && "$prefix/bin/testkve" 2>&1)
status=0
for expected in "tiny engine: 13 settings, execute mode 0x00010001" \
                "Error Code: VXR_RET_REBOOT_MACHINE"; do
  if ! grep -qxF "$expected" <<<"$output"; then
    echo "missing line: $expected"
    status=1
  fi
done
if grep -q "VXR_LIB_" <<<"$output"; then
  echo "the library refused the engine"
  status=1
fi
[[ $status -eq 0 ]] || printf 'testkve printed:\n%s\n' "$output"
exit $status
