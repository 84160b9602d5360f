"""Opening a report page in headless Chromium through chromedriver, as a person would see it.

Shared by the browser test and the page benchmark. Chromium runs with a fresh profile in a
temporary folder, without sandbox (it runs as root in CI), GPU, QUIC, first-run pages,
background networking, component updates or sync, so that nothing but the page is loaded.
"""
import json
import shutil
import tempfile

CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'


class BrowserUnavailable(Exception):
    """Chromium or its driver is missing or cannot start a session."""


class Browser:
    def __init__(self, width=1000, height=1400):
        try:
            from selenium import webdriver
            from selenium.webdriver.chrome.service import Service
        except ImportError as error:
            raise BrowserUnavailable(f'python3-selenium is missing: {error}') from error
        for program in (CHROMIUM, CHROMEDRIVER):
            if shutil.which(program) is None:
                raise BrowserUnavailable(f'{program} is missing')
        self._profile = tempfile.TemporaryDirectory(prefix='testkve-chromium-')
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                     '--disable-background-networking', '--disable-component-update', '--disable-sync',
                     '--disable-dev-shm-usage', '--hide-scrollbars', f'--user-data-dir={self._profile.name}',
                     f'--window-size={width},{height}'):
            options.add_argument(flag)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL', 'performance': 'ALL'})
        try:
            self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        except Exception as error:  # selenium raises several kinds for a browser that cannot start
            self._profile.cleanup()
            raise BrowserUnavailable(f'Chromium cannot start: {error}') from error

    def close(self):
        self.driver.quit()
        self._profile.cleanup()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def open(self, path):
        """Loads the page at `path` and waits until it has loaded; its file:// URL. What the
        browser requested and logged before (its own start page) is dropped first, so that
        requests() and console_messages() tell of this page alone."""
        self.driver.get_log('performance')
        self.driver.get_log('browser')
        url = 'file://' + str(path)
        self.driver.get(url)
        return url

    def console_messages(self):
        """The messages the page left in the console: (level, text)."""
        return [(entry['level'], entry['message']) for entry in self.driver.get_log('browser')]

    def requests(self, document_url):
        """Every URL that the document at `document_url` requested since the last call, the
        document itself included. (Chromium's own pages, such as its start page, load in other
        documents and are not counted.)"""
        urls = []
        for entry in self.driver.get_log('performance'):
            message = json.loads(entry['message'])['message']
            if message.get('method') != 'Network.requestWillBeSent':
                continue
            params = message['params']
            if params.get('documentURL') == document_url:
                urls.append(params['request']['url'])
        return urls

    def load_milliseconds(self):
        """From the start of the navigation to the end of its load event."""
        return self.driver.execute_script(
            'const t = performance.getEntriesByType("navigation")[0]; return t.loadEventEnd - t.startTime;')
