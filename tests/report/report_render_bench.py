#!/usr/bin/env python3
"""Opens a report page in headless Chromium and prints how long it took to load, in ms.

    report_render_bench.py PAGE [REPETITIONS]

Prints the median of REPETITIONS loads (default 5), each in a fresh tab state, as one number;
exit status 2 when Chromium cannot start, 1 when the page left a console message.
"""
import statistics
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from report_browser import Browser, BrowserUnavailable  # noqa: E402


def main(page, repetitions=5):
    try:
        browser = Browser()
    except BrowserUnavailable as reason:
        print(reason, file=sys.stderr)
        return 2
    with browser:
        times = []
        for _ in range(int(repetitions)):
            browser.driver.get('about:blank')
            browser.open(Path(page).resolve())
            times.append(browser.load_milliseconds())
        messages = browser.console_messages()
    print(f'{statistics.median(times):.1f}')
    if messages:
        print(f'console: {messages}', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))
