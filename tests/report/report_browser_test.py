#!/usr/bin/env python3
"""End-to-end: a 200-pass run's /REPORT page in a real browser.

Runs the built testkve against the reference engine (two warm-up passes first, every tenth
engine run fails, and the /PREPARE of pass 15 fails so that its engine does not run), checks
the page with html5lib, opens it in headless Chromium and checks that it loads with no console
message of level error or warning and no network request, and that the DOM holds the pass
count, the failure count, the warm-up passes, one SVG per plot and the failed passes shaded on
both per-pass plots. Writes screenshots of the page's top and of the whole page
into the output folder.

    report_browser_test.py BIN_DIR ENGINE_DIR OUT_DIR

Exit status 0 when every check holds, 1 when one fails, 77 (a skip for ctest) only when
Chromium cannot start at all.
"""
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import html5_check  # noqa: E402
from report_browser import Browser, BrowserUnavailable  # noqa: E402

PASSES = 200
WARM_UPS = 2
NOT_RUN = 15
FAILING = 21  # 20 engine runs and the pass that did not run
SKIP = 77


def copy_engine_folder(engine_dir, to):
    for entry in Path(engine_dir).iterdir():
        if entry.is_file():
            shutil.copy2(entry, to / entry.name)


def run_harness(bin_dir, folder):
    # Exit code 1 at every tenth engine run: 20 failed passes, all after the warm-up.
    environment = dict(os.environ, VXR_REF_EXITS='0,0,0,0,0,0,0,0,0,1')
    prepare = f'/PREPARE=test $TESTKVE_PASS != {NOT_RUN} -o $TESTKVE_WARMUP = 1'
    # The engine folder's own copy of the harness, so that the page (and the user guide's picture
    # of it) names no path of the machine that built it.
    shutil.copy2(Path(bin_dir) / 'testkve', folder / 'testkve')
    run = subprocess.run(['./testkve', '/NH', f'/RUN={PASSES}', f'/WARMUP={WARM_UPS}', prepare,
                          '/REPORT=report.html'],
                         cwd=folder, env=environment, capture_output=True, text=True, errors='replace')
    if run.returncode != 0:
        sys.exit(f'testkve ended with {run.returncode}: {run.stderr}')
    return folder / 'report.html'


def check(condition, failures, what):
    if not condition:
        failures.append(what)


def check_in_browser(page, out_dir, failures):
    with Browser(width=1000, height=1300) as browser:
        url = browser.open(page)
        driver = browser.driver
        text = lambda selector: driver.find_element('css selector', selector).text  # noqa: E731
        check(text('#pass-count') == str(PASSES), failures, f'pass count shows {text("#pass-count")!r}')
        check(text('#failure-count') == str(FAILING), failures, f'failure count shows {text("#failure-count")!r}')
        plots = driver.find_elements('css selector', 'svg.plot')
        ids = [plot.get_attribute('id') for plot in plots]
        check(ids == ['wall-time-plot', 'peak-memory-plot', 'wall-time-histogram'], failures, f'plots: {ids}')
        rows = driver.find_elements('css selector', '#failure-table tbody tr')
        check(len(rows) == FAILING, failures, f'{len(rows)} failed passes listed')
        not_run = [row.text for row in rows if 'PREPARE_FAILED' in row.text]
        check(len(not_run) == 1 and not_run[0].startswith(f'{NOT_RUN} '), failures, f'not run: {not_run}')
        headline = text('.headline')
        check(f'after {WARM_UPS} warm-up passes' in headline, failures, f'headline: {headline!r}')
        marks = driver.find_elements('css selector', 'svg.plot rect.failed-pass')
        check(len(marks) == 2 * FAILING, failures, f'{len(marks)} failed passes shaded')
        messages = browser.console_messages()
        check(not messages, failures, f'console: {messages}')
        requests = browser.requests(url)
        check(requests == [url], failures, f'requests: {requests}')
        # The top of the page as a person first sees it (the user guide's picture), then all of it.
        check(driver.save_screenshot(str(out_dir / 'report-top.png')), failures, 'no screenshot')
        screenshot = out_dir / 'report.png'
        driver.set_window_size(1000, driver.execute_script('return document.body.scrollHeight') + 40)
        check(driver.save_screenshot(str(screenshot)), failures, 'no screenshot')
        print(f'screenshots: {screenshot}, report-top.png beside it')


def main(bin_dir, engine_dir, out_dir):
    out_dir = Path(out_dir).resolve()
    out_dir.mkdir(parents=True, exist_ok=True)
    failures = []
    with tempfile.TemporaryDirectory(prefix='testkve-report-') as folder:
        folder = Path(folder)
        copy_engine_folder(engine_dir, folder)
        page = run_harness(bin_dir, folder)
        shutil.copy2(page, out_dir / 'report.html')
        parser_errors = html5_check.main(str(page))
        check(parser_errors == 0, failures, 'html5lib found parse errors (listed above)')
        try:
            check_in_browser(page, out_dir, failures)
        except BrowserUnavailable as reason:
            print(f'SKIPPED: the browser check cannot run here: {reason}')
            return SKIP
    for failure in failures:
        print(f'FAILED: {failure}')
    return 1 if failures else 0


if __name__ == '__main__':
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
