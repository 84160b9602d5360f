#!/usr/bin/env python3
"""Every link in the project's Markdown documents resolves.

Checks README.md, CONTRIBUTING.md, docs/*.md and the README of every tool and of bench/: each
relative Markdown link or image must name a file or folder that exists, and its #anchor, when
it has one, a heading of the target (as GitHub makes anchors from headings); each `docs/...`
path that the text mentions must exist. Links to other sites are not fetched.

    links_test.py SOURCE_DIR

Exit status 0 when everything resolves, 1 naming each link that does not. Before the
documents it checks itself on a made-up tree with one fault of each kind.
"""
import re
import sys
import tempfile
from pathlib import Path

DOCUMENTS = ['README.md', 'CONTRIBUTING.md', 'docs/*.md', 'tools/*/README.md', 'bench/README.md']
LINK = re.compile(r'!?\[[^\]]*\]\(([^()\s]+)\)')
DOCS_PATH = re.compile(r'(?<![\w./-])docs/[\w./-]*[\w/]')
FENCE = re.compile(r'^\s*(```|~~~)')
HEADING = re.compile(r'^#{1,6}\s+(.*?)\s*#*\s*$')


def github_anchor(heading):
    """The anchor GitHub gives a heading: lower case, punctuation dropped, blanks as hyphens."""
    text = re.sub(r'`|\*\*|__', '', heading).strip().lower()
    text = re.sub(r'[^\w\- ]', '', text)
    return text.replace(' ', '-')


def prose_lines(path):
    """The lines outside fenced code blocks, with their numbers."""
    in_fence = False
    for number, line in enumerate(path.read_text(encoding='utf-8').splitlines(), 1):
        if FENCE.match(line):
            in_fence = not in_fence
            continue
        if not in_fence:
            yield number, line


def anchors(path):
    seen = {}
    found = set()
    for _, line in prose_lines(path):
        match = HEADING.match(line)
        if not match:
            continue
        anchor = github_anchor(match.group(1))
        count = seen.get(anchor, 0)
        seen[anchor] = count + 1
        found.add(anchor if count == 0 else f'{anchor}-{count}')
    return found


def check_link(document, target, root):
    """None when `target`, written in `document`, resolves; else what is wrong."""
    if re.match(r'^[a-z][a-z0-9+.-]*:', target):
        return None  # another site, or mail
    path_part, _, anchor = target.partition('#')
    resolved = (document.parent / path_part).resolve() if path_part else document.resolve()
    if not resolved.exists():
        return f'{target}: no such file'
    if not resolved.is_relative_to(root.resolve()):
        return f'{target}: outside the source tree'
    if anchor and resolved.suffix == '.md' and anchor not in anchors(resolved):
        return f'{target}: no heading #{anchor} in {resolved.relative_to(root.resolve())}'
    return None


def faults_in(root):
    faults = []
    documents = sorted({path for pattern in DOCUMENTS for path in root.glob(pattern)})
    for document in documents:
        name = document.relative_to(root)
        for number, line in prose_lines(document):
            for target in LINK.findall(line):
                fault = check_link(document, target, root)
                if fault:
                    faults.append(f'{name}:{number}: {fault}')
        # Mentions anywhere, code blocks too; a link's own target was checked above.
        for number, line in enumerate(document.read_text(encoding='utf-8').splitlines(), 1):
            for mention in DOCS_PATH.findall(LINK.sub('', line)):
                if not (root / mention).exists():
                    faults.append(f'{name}:{number}: {mention}: no such file')
    return documents, faults


def self_test():
    """The check finds a missing file, a missing heading and a missing docs/ path."""
    with tempfile.TemporaryDirectory() as folder:
        root = Path(folder)
        (root / 'docs').mkdir()
        (root / 'docs' / 'guide.md').write_text('# The guide\n\n## Running it\n', encoding='utf-8')
        (root / 'README.md').write_text(
            '# T\n\n[fine](docs/guide.md#running-it) [gone](docs/gone.md) '
            '[no heading](docs/guide.md#stopping-it)\nsee `docs/picture.png`\n'
            '```\n[in code](not/checked.md)\n```\n', encoding='utf-8')
        _, faults = faults_in(root)
        expected = ['README.md:3: docs/gone.md: no such file',
                    'README.md:3: docs/guide.md#stopping-it: no heading #stopping-it in docs/guide.md',
                    'README.md:4: docs/picture.png: no such file']
        if faults != expected:
            sys.exit(f'the link check itself is broken: found {faults}, expected {expected}')


def main(source_dir):
    self_test()
    documents, faults = faults_in(Path(source_dir))
    for fault in faults:
        print(fault)
    print(f'{len(documents)} documents, {len(faults)} broken links')
    return 1 if faults or not documents else 0


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1]))
