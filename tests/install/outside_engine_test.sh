#!/usr/bin/env bash
# Installs this build into a temporary prefix and builds a tiny engine from outside the tree
# against the installed CMake package (and once more with pkg-config), neither setting a C++
# standard. Gives each version information, signs it with the installed development key and
# vxrtool, and runs the installed testkve on them in an engine folder of their own: the
# settings, the exit code and a mailslot message (/DLL) come back. Checks on the way that the
# CMake package, pkg-config and vxrtool carry the build's one version.
# Usage: outside_engine_test.sh BUILD_DIR SOURCE_DIR CXX_COMPILER [EXTRA_FLAGS]
set -euo pipefail
build=$1
source=$2
compiler=$3
flags=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
# shellcheck source=tests/install/steps.sh
source "$(dirname "$0")/steps.sh"

prefix=$work/prefix
step cmake --install "$build" --prefix "$prefix"
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
# OpenSSL is hidden from the engine's build: the SDK alone must not ask for it.
step cmake -S "$source/tests/install/tiny_engine" -B "$work/engine-build" "${generator[@]}" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_DISABLE_FIND_PACKAGE_OpenSSL=ON \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags"
cmake_version=$(sed -n 's/^-- TestKVE package version //p' "$work/step.log")
step cmake --build "$work/engine-build"
# The pkg-config file must build the same engine, with nothing added by hand.
pc_dir=$(dirname "$(find "$prefix" -name testkve-engine-sdk.pc)")
pc_flags=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs testkve-engine-sdk)
pc_version=$(PKG_CONFIG_PATH="$pc_dir" pkg-config --modversion testkve-engine-sdk)
# shellcheck disable=SC2086  # the flags are words
step "$compiler" $flags "$source/tests/install/tiny_engine/tiny_engine.cc" -o "$work/tiny_engine_pc" $pc_flags

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt")
tool_version=$("$prefix/bin/vxrtool" --version)
[[ $cmake_version == "$version" ]] || fail "CMake package version '$cmake_version', build's '$version'"
[[ $pc_version == "$version" ]] || fail "pkg-config version '$pc_version', build's '$version'"
[[ $tool_version == "vxrtool (TestKVE) $version" ]] || fail "vxrtool --version printed '$tool_version'"

# The CMake-built engine runs as vxr.exe, the pkg-config-built one as vxr_qa.exe (/QA).
folder=$work/engines
mkdir "$folder"
cp "$work/engine-build/tiny_engine" "$folder/vxr.exe"
cp "$work/tiny_engine_pc" "$folder/vxr_qa.exe"
cp "$source/tools/engine_folder/VXR.INI" "$folder/VXR.INI"
key=$prefix/share/testkve/development-only-signing-key.pem
for engine in vxr.exe vxr_qa.exe; do
  step "$prefix/bin/vxrtool" version set --file-version 3.5.0.1 --special-build 1001 "$folder/$engine"
  step "$prefix/bin/vxrtool" sign --key "$key" "$folder/$engine"
done

# The mailslots of these runs in a folder of their own, apart from other tests' runs.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
for options in "" "/QA" "/DLL" "/QA /DLL"; do
  # shellcheck disable=SC2086  # no option is one word fewer
  output=$(cd "$folder" && "$prefix/bin/testkve" /NH $options 2>&1)
  # /DLL adds one setting, the extra-output module's name, and the engine's message.
  expected=("tiny engine: 13 settings, execute mode 0x00010001" "Error Code: VXR_RET_REBOOT_MACHINE")
  if [[ $options == *DLL* ]]; then
    expected=("tiny engine: 14 settings, execute mode 0x00010001" "Error Code: VXR_RET_REBOOT_MACHINE"
              "tiny engine: hello through the mailslot")
  fi
  before=$status
  for line in "${expected[@]}"; do
    grep -qxF "$line" <<<"$output" || fail "testkve $options: missing line: $line"
  done
  if [[ $options != *DLL* ]] && grep -q "mailslot" <<<"$output"; then
    fail "testkve $options: a message came without /DLL"
  fi
  if grep -q "VXR_LIB_" <<<"$output"; then fail "testkve $options: the library refused the engine"; fi
  [[ $status -eq $before ]] || printf 'testkve %s printed:\n%s\n' "$options" "$output"
done
exit $status
