"""The station's page in headless Chromium, for the browser test and the page benchmarks.

Needs Debian's chromium, chromium-driver and python3-selenium; MISSING says
which of them is not there (the callers exit 77 then).
"""

import os
import shutil
import socket
import subprocess
import time
import urllib.request

try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException  # noqa: F401
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait  # noqa: F401
except ImportError:
    webdriver = None

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver")
MISSING = [name for name, found in (("python3-selenium", webdriver), ("chromium", CHROMIUM), ("chromium-driver", DRIVER))
           if not found]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_server(url, process, seconds=20):
    for _ in range(int(seconds / 0.05)):
        if process.poll() is not None:
            raise AssertionError("the program ended with %d before serving %s" % (process.returncode, url))
        try:
            urllib.request.urlopen(url, timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise AssertionError("no page at " + url)


def open_page(url, profile):
    """A headless Chromium on url with a profile folder of its own, once the page's event stream is live."""
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage", "--window-size=1240,900",
                 "--user-data-dir=" + profile):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(DRIVER), options=options)
    driver.get(url)
    WebDriverWait(driver, 20).until(lambda d: d.find_element(By.ID, "connection").text == "live")
    return driver


ENTRIES_SCRIPT = """
return Array.from(document.querySelectorAll('#messages tr')).map(tr => {
    const cells = tr.querySelectorAll('td'), text = tr.querySelector('span.text'), hex = tr.querySelector('code.hex');
    return {time: cells[0].textContent, offset: cells[1].textContent, mode: cells[2].textContent,
            mapping: cells[3].textContent, call: cells[4].textContent, payload: text ? text.textContent : null,
            hex: hex ? hex.textContent : '', received: tr.dataset.received ? Number(tr.dataset.received) : null};
});
"""


def entries(driver):
    """The received list, newest first: each row's cells as text, its payload (None before the MESSAGE) and
    the page's clock (ms) when the payload arrived."""
    return driver.execute_script(ENTRIES_SCRIPT)


def pace(sink, samples, rate, speed=1.0, block_ms=20, on_block=None):
    """Writes 16-bit mono samples to sink as a sound card delivers them: each block once its last sample is
    in, block i at start + i + 1 blocks of time. Returns the wall-clock start (time.time()), the moment of
    the first sample."""
    block = rate * block_ms // 1000 * 2
    start = time.time()
    for i, offset in enumerate(range(0, len(samples), block)):
        due = start + (i + 1) * block_ms / 1000 / speed
        delay = due - time.time()
        if delay > 0:
            time.sleep(delay)
        sink.write(samples[offset:offset + block])
        sink.flush()
        if on_block:
            on_block(i)
    return start


def run(command, **kwargs):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, **kwargs).stdout
