#!/usr/bin/env python3
"""burst_station's page in headless Chromium while a recording plays.

Usage: station_page_test.py ENCODE_STREAM DECODE_STREAM BURST_STATION
The station reads the recording from a pipe at three times a sound card's
pace and writes what it sends to a WAV. Exit 77 when Chromium, chromedriver
or Selenium is missing.
"""

import json
import random
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testing"))
import station_browser as sb  # noqa: E402

RATE = 8000
HERTZ_PER_COLUMN = 4000 / 360
BURSTS = [  # call, centre frequency, payload
    ("DL1ABC", 1200, "<img src=x onerror=alert(1)>"),
    ("OE3XYZ", 2600, "hello & <b>bold</b>\tend"),
]
SENT = ("DL2XYZ", 16, "from the page \u2713")

# Rows of the waterfall canvas with a burst in them (a band of hot columns:
# the colours go from blue through green to red as the level rises, so red
# counts twice, blue not at all), grouped into runs, each with the middle of
# its band: the mean column of the pixels hotter than half the run's hottest;
# newest first.
RUNS_SCRIPT = """
const c = document.getElementById('waterfall'), d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
const heat = (x, y) => { const i = 4 * (y * c.width + x); return 2 * d[i] + d[i + 1]; };
const runs = []; let run = null;
const close = () => {
    let peak = 0, count = 0, sum = 0;
    for (let y = run.first; y <= run.last; ++y) for (let x = 0; x < c.width; ++x) peak = Math.max(peak, heat(x, y));
    for (let y = run.first; y <= run.last; ++y)
        for (let x = 0; x < c.width; ++x) if (heat(x, y) > peak / 2) { ++count; sum += x; }
    runs.push({rows: run.last - run.first + 1, column: sum / count});
    run = null;
};
for (let y = 0; y < c.height; ++y) {
    let lit = 0;
    for (let x = 0; x < c.width; ++x) if (heat(x, y) > 300) ++lit;
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


def post(url, body, headers):
    request = urllib.request.Request(url + "send", data=body.encode(), headers=headers, method="POST")
    try:
        with urllib.request.urlopen(request, timeout=5) as answer:
            return answer.status
    except urllib.error.HTTPError as e:
        return e.code


def messages(json_lines):
    """(call, mode, payload) of every MESSAGE in decode_stream's JSON lines, call and mode from its SYNC."""
    out, sync = [], {}
    for event in map(json.loads, json_lines.splitlines()):
        if event["kind"] == "SYNC":
            sync = event
        elif event["kind"] == "MESSAGE":
            out.append((sync.get("call"), sync.get("mode"), event["payload"]))
    return out


def check_page(driver, url):
    sb.WebDriverWait(driver, 30).until(lambda d: sum(e["payload"] is not None for e in sb.entries(d)) == len(BURSTS))
    heard = {e["call"]: e for e in sb.entries(driver)}
    for call, freq, payload in BURSTS:
        e = heard.get(call)
        check(e is not None, call + " is listed")
        check(e["payload"] == payload.replace("\t", "\u2409"), call + "'s payload shows as its characters: " + e["payload"])
        check(e["hex"].replace(" ", "") == payload.encode().hex(), call + "'s hex view holds its bytes")
        check((e["mode"], e["mapping"]) == ("16", "4"), call + "'s mode and mapping")
        check(abs(int(e["offset"].split()[0]) - freq) <= 20, call + "'s frequency " + e["offset"])
        check(e["time"] != "", call + "'s time")
    check(driver.execute_script("return document.querySelectorAll('#messages img, #messages b').length") == 0,
          "received markup made no element")
    try:
        driver.switch_to.alert
        check(False, "no alert")
    except sb.NoAlertPresentException:
        print("ok: no alert")

    runs = driver.execute_script(RUNS_SCRIPT)
    check(len(runs) == len(BURSTS), "the waterfall shows each burst: %s" % runs)
    for run, (call, freq, _) in zip(runs, reversed(BURSTS)):
        check(abs(run["column"] - freq / HERTZ_PER_COLUMN) < 6, "%s at its frequency on the canvas: column %.1f"
              % (call, run["column"]))

    driver.find_element(sb.By.ID, "call").send_keys(SENT[0])
    sb.Select(driver.find_element(sb.By.ID, "mode")).select_by_value(str(SENT[1]))
    driver.find_element(sb.By.ID, "payload").send_keys(SENT[2])
    driver.find_element(sb.By.ID, "send-button").click()
    sb.WebDriverWait(driver, 10).until(lambda d: d.find_element(sb.By.ID, "send-result").text != "sending…")
    check(driver.find_element(sb.By.ID, "send-result").text == "queued", "the form queued its message")

    token = driver.find_element(sb.By.CSS_SELECTOR, 'meta[name="send-token"]').get_attribute("content")
    good = json.dumps({"call": "DL3AB", "mode": 16, "payload": "x"})
    refused = [
        post(url, good, {"Content-Type": "application/json"}),
        post(url, good, {"X-Send-Token": token, "Origin": "http://evil.example"}),
        post(url, json.dumps({"call": "DL3AB", "mode": 14, "payload": "x" * 171}), {"X-Send-Token": token}),
    ]
    check(refused == [403, 403, 400], "no token, a foreign origin, 171 bytes refused: %s" % refused)


def main():
    if sb.MISSING:
        print("missing:", ", ".join(sb.MISSING))
        return 77
    encode_stream, decode_stream, station = sys.argv[1:4]
    folder = tempfile.mkdtemp(prefix="station_page_")
    audio_out = os.path.join(folder, "out.wav")
    samples = b"".join(sb.run([encode_stream, "-r", str(RATE), "-C", call, "-f", str(freq), "-s", "2", "-t", payload])
                       for call, freq, payload in BURSTS)
    url = "http://127.0.0.1:%d/" % sb.free_port()
    program = subprocess.Popen([station, "--input", "-", "--audio-out", audio_out, "--format", "json",
                                "--listen", url[7:-1], str(RATE), "4"], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    driver = None
    try:
        sb.wait_for_server(url, program)
        driver = sb.open_page(url, os.path.join(folder, "profile"))
        sb.pace(program.stdin, samples + bytes(RATE * 2), RATE, speed=3)
        check_page(driver, url)

        # A second of full scale, at a card's pace so that the station's half-second windows see it.
        square = (b"\xff\x7f" * 4 + b"\x00\x80" * 4) * (RATE // 8)
        sb.pace(program.stdin, square, RATE)
        sb.WebDriverWait(driver, 5).until(lambda d: d.find_element(sb.By.ID, "clipping").is_displayed())
        check("peak 0.0 dBFS" in driver.find_element(sb.By.ID, "level-text").text, "full scale shows as clipping")
        hiss = bytes(random.choice((1, 255)) for _ in range(RATE * 2))
        sb.pace(program.stdin, hiss, RATE)
        sb.WebDriverWait(driver, 5).until(lambda d: not d.find_element(sb.By.ID, "clipping").is_displayed())
        print("ok: the warning goes with the clipping")
        driver.quit()
        driver = None

        # The end of the input ends the station once it has sent what is queued.
        program.stdin.close()
        printed = program.stdout.read().decode()
        check(program.wait(60) == 0, "the station ended at the end of its input")
        check(messages(printed) == [(c, 16, p) for c, _, p in BURSTS], "the station printed what the page showed")
        back = sb.run([decode_stream, "--format", "json", "-i", audio_out, str(RATE), "4"]).decode()
        check(messages(back) == [SENT], "the audio out carries the form's message and nothing else: %s" % back)
        return 0
    finally:
        if driver:
            driver.quit()
        if program.poll() is None:
            program.kill()
            program.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
