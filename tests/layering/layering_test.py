#!/usr/bin/env python3
"""The layers of docs/architecture.md hold in the build: a library sees its own headers and those
of what it links, and no other.

For each library in the table below, a one-line file is compiled (syntax only) with the exact
command the build uses for one of that library's own sources (from compile_commands.json): an
include the library may make must compile, and each include of a library it does not link (a
higher layer's above all) must fail, with the compiler naming the header it could not find.

    layering_test.py BUILD_DIR

Exit status 0 when every case behaves, 1 naming each that does not.
"""
import json
import shlex
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

# (target, a header it may include, headers it must not see)
CASES = [
    ('platform', 'platform/error.h',
     ['TestKVE/harness.h', 'settings_block/settings_block.h', 'vxr_contract.h']),
    ('settings_block', 'platform/shared_memory.h',
     ['perf_monitor/perf_mon.h', 'engine_control/library.h', 'integrity/engine_validation.h']),
    ('integrity', 'integrity/engine_validation.h',
     ['engine_control/library.h', 'pattern_reader/pattern_file.h']),
    ('engine_control', 'settings_block/settings_block.h',
     ['TestKVE/harness.h', 'perf_monitor/perf_mon.h', 'engine_sdk/engine_settings.h']),
    ('engine_sdk', 'vxr_contract.h',
     ['engine_control/library.h', 'integrity/engine_validation.h', 'TestKVE/harness.h']),
    ('perf_monitor', 'svg_plot/svg_plot.h', ['TestKVE/harness.h', 'run_compare/comparison.h']),
    # The harness sees the control library through its public headers only.
    ('testkve_driver', 'perf_monitor/perf_mon.h',
     ['engine_control/library.h', 'settings_block/settings_block.h']),
    ('vxr_ref', 'engine_sdk/engine_settings.h', ['engine_control/library.h', 'TestKVE/harness.h']),
]


def compile_commands(build_dir):
    """The build's command for one source of each target, by target name."""
    commands = {}
    for entry in json.loads((build_dir / 'compile_commands.json').read_text()):
        words = shlex.split(entry['command'])
        output = '/' + words[words.index('-o') + 1] if '-o' in words else ''
        if '/CMakeFiles/' not in output:
            continue
        target = output.split('/CMakeFiles/', 1)[1].split('.dir/', 1)[0]
        commands.setdefault(target, entry)
    return commands


def syntax_check(entry, include, folder):
    """Compiles `#include "include"` with the entry's command; returns (status, diagnostics)."""
    scratch = Path(tempfile.mkdtemp(dir=folder)) / 'scratch.cc'
    scratch.write_text(f'#include "{include}"\n')
    source = entry['file']
    command = []
    skip = False
    for word in shlex.split(entry['command']):
        if skip:
            skip = False
            continue
        if word in ('-o', '-MF', '-MT', '-MQ'):
            skip = True
            continue
        if word in ('-c', '-MD', '-MMD') or word == source:
            continue
        command.append(word)
    command += ['-fsyntax-only', str(scratch)]
    run = subprocess.run(command, cwd=entry['directory'], capture_output=True, text=True)
    return run.returncode, run.stderr


def check(entry, target, include, must_compile, folder):
    """The failure text of one case, or None when the compiler agrees."""
    status, errors = syntax_check(entry, include, folder)
    if must_compile and status != 0:
        return f'{target}: "{include}" should compile:\n{errors}'
    if not must_compile and (status == 0 or include not in errors):
        return f'{target}: "{include}" should not be found (status {status}):\n{errors}'
    return None


def main():
    build_dir = Path(sys.argv[1])
    commands = compile_commands(build_dir)
    failures = []
    cases = []
    for target, allowed, refused in CASES:
        if target not in commands:
            failures.append(f'{target}: no compile command in compile_commands.json')
            continue
        cases.append((commands[target], target, allowed, True))
        cases += [(commands[target], target, header, False) for header in refused]
    with tempfile.TemporaryDirectory() as folder, ThreadPoolExecutor(max_workers=2) as pool:
        results = pool.map(lambda case: check(*case, folder), cases)
        failures += [result for result in results if result]
    for failure in failures:
        print(failure)
    print(f'{len(cases)} includes in {len(CASES)} libraries checked, {len(failures)} failures')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
