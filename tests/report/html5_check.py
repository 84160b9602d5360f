#!/usr/bin/env python3
"""Parses an HTML page as a browser's HTML5 parser does and lists every parse error.

Exit status 0 and no output when the page has none; 1 with one line per error otherwise.
(xmllint --html knows neither HTML5 nor inline SVG.)
"""
import sys

import html5lib


def main(path):
    parser = html5lib.HTMLParser(strict=False, namespaceHTMLElements=False)
    with open(path, 'rb') as page:
        parser.parse(page)
    for position, code, data in parser.errors:
        print(f'{path}:{position[0]}:{position[1]}: {code} {data}')
    return 1 if parser.errors else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))
