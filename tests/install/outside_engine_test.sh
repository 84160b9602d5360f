#!/usr/bin/env bash
# Installs this build into a temporary prefix, builds a tiny engine from outside the tree against
# the installed CMake package (and once more with pkg-config), gives it version information and
# signs it with the installed vxrtool, and runs the installed testkve on it in an engine folder
# of its own.
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
# The pkg-config file must link the same engine.
pc_dir=$(dirname "$(find "$prefix" -name testkve-engine-sdk.pc)")
pc_flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs testkve-engine-sdk)
# shellcheck disable=SC2086  # the flags are words
step "$compiler" -std=c++20 $flags "$source/tests/install/tiny_engine/tiny_engine.cc" \
  -o "$work/tiny_engine_pc" $pc_flags

# The CMake-built engine runs as vxr.exe, the pkg-config-built one as vxr_qa.exe (/QA).
folder=$work/engines
mkdir "$folder"
cp "$work/engine-build/tiny_engine" "$folder/vxr.exe"
cp "$work/tiny_engine_pc" "$folder/vxr_qa.exe"
cp "$source/tools/engine_folder/VXR.INI" "$folder/VXR.INI"
for engine in vxr.exe vxr_qa.exe; do
  step "$prefix/bin/vxrtool" version set --file-version 3.5.0.1 --special-build 1001 \
    "$folder/$engine"
  step "$prefix/bin/vxrtool" sign --key "$source/tools/keys/dev_signing_key.pem" "$folder/$engine"
done

status=0
for options in "" "/QA"; do
  # shellcheck disable=SC2086  # no option is one word fewer
  output=$(cd "$folder" && "$prefix/bin/testkve" $options 2>&1)
  for expected in "tiny engine: 13 settings, execute mode 0x00010001" \
                  "Error Code: VXR_RET_REBOOT_MACHINE"; do
    if ! grep -qxF "$expected" <<<"$output"; then
      echo "testkve $options: missing line: $expected"
      status=1
    fi
  done
  if grep -q "VXR_LIB_" <<<"$output"; then
    echo "testkve $options: the library refused the engine"
    status=1
  fi
  [[ $status -eq 0 ]] || printf 'testkve %s printed:\n%s\n' "$options" "$output"
done
exit $status
