#!/usr/bin/env python3
"""The station's page in headless Chromium while a recording plays.

Usage: station_page_test.py ENCODE_STREAM PROGRAM [ARG]...
PROGRAM serves the page on --listen 127.0.0.1:PORT (added here) and reads
raw 16-bit mono samples at 8000 Hz from standard input; it appends what it
was asked to send, as JSON lines, to the file named by the environment
variable STATION_SENT (the fixture's --sent). With --screenshot FILE the
page is kept as a picture after the checks. Exit 77 when Chromium,
chromedriver or Selenium is missing.
"""

import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

try:
    from selenium import webdriver
    from selenium.common.exceptions import NoAlertPresentException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait
except ImportError:
    print("python3-selenium is missing")
    sys.exit(77)

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver")
RATE = 8000
HERTZ_PER_COLUMN = 4000 / 360
BURSTS = [  # call, centre frequency, payload
    ("DL1ABC", 1200, "<img src=x onerror=alert(1)>"),
    ("OE3XYZ", 2600, "hello & <b>bold</b>\tend"),
]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def recording(encode_stream, folder):
    samples = b""
    for call, freq, payload in BURSTS:
        samples += subprocess.run([encode_stream, "-r", str(RATE), "-C", call, "-f", str(freq), "-s", "2", "-t", payload],
                                  check=True, stdout=subprocess.PIPE).stdout
    return samples


def post(url, body, headers):
    request = urllib.request.Request(url + "send", data=body.encode(), headers=headers, method="POST")
    try:
        with urllib.request.urlopen(request, timeout=5) as answer:
            return answer.status, answer.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()


def browser(folder):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage", "--window-size=1240,900",
                 "--user-data-dir=" + os.path.join(folder, "profile")):
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(DRIVER), options=options)


def wait_for_server(url, process):
    for _ in range(200):
        if process.poll() is not None:
            raise AssertionError("the program ended: %d" % process.returncode)
        try:
            urllib.request.urlopen(url, timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise AssertionError("no page at " + url)


def entries(driver):
    rows = []
    for tr in driver.find_elements(By.CSS_SELECTOR, "#messages tr"):
        cells = tr.find_elements(By.TAG_NAME, "td")
        hex_text = driver.execute_script("var c = arguments[0].querySelector('code.hex'); return c ? c.textContent : ''", tr)
        text = driver.execute_script("var t = arguments[0].querySelector('span.text'); return t ? t.textContent : null", tr)
        rows.append({"time": cells[0].text, "offset": cells[1].text, "mode": cells[2].text, "call": cells[4].text,
                     "payload": text, "hex": hex_text})
    return rows


# Rows of the waterfall canvas with a burst in them (a band of hot columns:
# the colours go from blue through green to red as the level rises, so red
# counts twice, blue not at all), grouped into runs, each with the middle of
# its band: the mean column of the pixels hotter than half the run's hottest;
# newest first.
RUNS_SCRIPT = """
const c = document.getElementById('waterfall'), d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
const bright = (x, y) => { const i = 4 * (y * c.width + x); return 2 * d[i] + d[i + 1]; };
const runs = []; let run = null;
const close = () => {
    let peak = 0, count = 0, sum = 0;
    for (let y = run.first; y <= run.last; ++y) for (let x = 0; x < c.width; ++x) peak = Math.max(peak, bright(x, y));
    for (let y = run.first; y <= run.last; ++y)
        for (let x = 0; x < c.width; ++x) if (bright(x, y) > peak / 2) { ++count; sum += x; }
    runs.push({rows: run.last - run.first + 1, column: sum / count});
    run = null;
};
for (let y = 0; y < c.height; ++y) {
    let lit = 0;
    for (let x = 0; x < c.width; ++x) if (bright(x, y) > 300) ++lit;
    if (lit >= 40) { if (!run) run = {first: y}; run.last = y; }
    else if (run) close();
}
if (run) close();
return runs;
"""


def check(condition, what):
    if not condition:
        raise AssertionError(what)
    print("ok:", what)


def main():
    args = sys.argv[1:]
    screenshot = None
    if "--screenshot" in args:
        i = args.index("--screenshot")
        screenshot = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    if not CHROMIUM or not DRIVER:
        print("chromium or chromedriver is missing")
        return 77
    encode_stream, command = args[0], args[1:]
    folder = tempfile.mkdtemp(prefix="station_page_")
    sent_path = os.path.join(folder, "sent.jsonl")
    open(sent_path, "w").close()
    port = free_port()
    url = "http://127.0.0.1:%d/" % port
    samples = recording(encode_stream, folder)
    env = dict(os.environ, STATION_SENT=sent_path)
    program = subprocess.Popen(command + ["--listen", "127.0.0.1:%d" % port], stdin=subprocess.PIPE, env=env)
    driver = None
    try:
        wait_for_server(url, program)
        driver = browser(folder)
        driver.get(url)
        WebDriverWait(driver, 10).until(lambda d: d.find_element(By.ID, "connection").text == "live")

        # A third of real time: rows flow while the page watches.
        block = RATE // 50 * 2
        for i in range(0, len(samples), block):
            program.stdin.write(samples[i:i + block])
            program.stdin.flush()
            time.sleep(0.02 / 3)
        program.stdin.write(bytes(RATE * 2))
        program.stdin.flush()

        WebDriverWait(driver, 20).until(lambda d: sum(e["payload"] is not None for e in entries(d)) == len(BURSTS))
        heard = {e["call"]: e for e in entries(driver)}
        for call, freq, payload in BURSTS:
            e = heard.get(call)
            check(e is not None, call + " is listed")
            check(e["payload"] == payload.replace("\t", "\u2409"), call + "'s payload shows as its characters: " + e["payload"])
            check(e["hex"].replace(" ", "") == payload.encode().hex(), call + "'s hex view holds its bytes")
            check(e["mode"] == "16", call + "'s mode")
            check(abs(int(e["offset"].split()[0]) - freq) <= 20, call + "'s frequency " + e["offset"])
            check(e["time"] != "", call + "'s time")
        check(driver.execute_script("return document.querySelectorAll('#messages img, #messages b').length") == 0,
              "received markup made no element")
        try:
            driver.switch_to.alert
            check(False, "no alert")
        except NoAlertPresentException:
            print("ok: no alert")

        runs = driver.execute_script(RUNS_SCRIPT)
        print("waterfall runs:", runs)
        check(len(runs) == len(BURSTS), "the waterfall shows each burst")
        for run, (call, freq, _) in zip(runs, reversed(BURSTS)):
            check(abs(run["column"] - freq / HERTZ_PER_COLUMN) < 6, call + " at its frequency on the canvas")

        driver.find_element(By.ID, "call").send_keys("DL2XYZ")
        Select(driver.find_element(By.ID, "mode")).select_by_value("16")
        driver.find_element(By.ID, "payload").send_keys("from the page \u2713")
        driver.find_element(By.ID, "send-button").click()
        WebDriverWait(driver, 10).until(lambda d: d.find_element(By.ID, "send-result").text != "sending…")
        check(driver.find_element(By.ID, "send-result").text == "queued", "the form queued its message")

        token = driver.find_element(By.CSS_SELECTOR, 'meta[name="send-token"]').get_attribute("content")
        good = json.dumps({"call": "DL3AB", "mode": 16, "payload": "x"})
        refused = [
            post(url, good, {"Content-Type": "application/json"}),
            post(url, good, {"X-Send-Token": token, "Origin": "http://evil.example"}),
            post(url, json.dumps({"call": "DL3AB", "mode": 14, "payload": "x" * 171}), {"X-Send-Token": token}),
        ]
        check([status for status, _ in refused] == [403, 403, 400], "no token, a foreign origin, 171 bytes refused")

        for _ in range(100):
            lines = open(sent_path).read().splitlines()
            if lines:
                break
            time.sleep(0.05)
        time.sleep(0.5)
        lines = open(sent_path).read().splitlines()
        check(len(lines) == 1, "one transmission queued, the refused ones not: %s" % lines)
        sent = json.loads(lines[0])
        check((sent["call"], sent["mode"], sent["payload"]) == ("DL2XYZ", 16, "from the page \u2713"), "as typed")

        if screenshot:
            driver.find_element(By.ID, "call").clear()
            driver.find_element(By.ID, "payload").clear()
            driver.find_element(By.ID, "call").send_keys("DL2XYZ")
            driver.find_element(By.ID, "payload").send_keys("QSL, 73")
            driver.find_element(By.CSS_SELECTOR, "#messages details").click()
            driver.save_screenshot(screenshot)
            print("page kept as", screenshot)
        return 0
    finally:
        if driver:
            driver.quit()
        program.stdin.close()
        program.terminate()
        program.wait(10)
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
