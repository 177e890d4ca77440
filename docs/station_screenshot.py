#!/usr/bin/env python3
"""Makes docs/station.png: burst_station's page in headless Chromium after a minute of band noise with
bursts in it, as a radio's receiver passes them (white noise, 300 to 3000 Hz).

Usage: docs/station_screenshot.py BUILD [OUT]   (BUILD: build/release; OUT: docs/station.png)
Needs chromium, chromium-driver and python3-selenium (Debian).
"""

import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testing"))
import station_browser as sb  # noqa: E402

RATE = 8000
BURSTS = [  # call, centre frequency, mode, payload
    ("DL1ABC", 1200, "16", "CQ CQ de DL1ABC"),
    ("OE3XYZ", 1900, "15", "DL1ABC de OE3XYZ: 59 in Vienna, QTH JN88ee, 73"),
    ("G4KLM", 1500, "16", "<img src=x onerror=alert(1)> shows as text"),
    ("DL1ABC", 1200, "ping", ""),
    ("PA0XYZ", 2400, "16", "tnx QSO \u2013 \u00e9t\u00e9 \u2713"),
]


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    if sb.MISSING:
        print("missing:", ", ".join(sb.MISSING))
        return 77
    build = os.path.abspath(sys.argv[1])
    out = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__), "station.png"))
    tools = os.path.join(build, "tools")
    clean = b""
    for call, freq, mode, payload in BURSTS:
        command = [os.path.join(tools, "encode_stream"), "-r", str(RATE), "-C", call, "-f", str(freq), "-M", mode, "-s", "1.5"]
        clean += sb.run(command + (["-t", payload] if payload else []))
    noisy = sb.run([os.path.join(tools, "burst_channel"), "-r", str(RATE), "-n", "12", "-b", "300:3000"], input=clean)
    folder = tempfile.mkdtemp(prefix="station_screenshot_")
    url = "http://127.0.0.1:%d/" % sb.free_port()
    station = subprocess.Popen([os.path.join(tools, "burst_station"), "--input", "-", "--listen", url[7:-1], str(RATE)],
                               stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
    try:
        sb.wait_for_server(url, station)
        driver = sb.open_page(url, os.path.join(folder, "profile"))
        sb.pace(station.stdin, noisy, RATE, speed=2)
        # Every burst listed, the ping's without a payload.
        sb.WebDriverWait(driver, 20).until(
            lambda d: sum(e["payload"] is not None for e in sb.entries(d)) == sum(1 for b in BURSTS if b[3]))
        driver.set_window_size(1240, 1040)
        driver.find_element(sb.By.ID, "call").send_keys("DL2XYZ")
        driver.find_element(sb.By.ID, "payload").send_keys("QSL, 73")
        driver.find_element(sb.By.CSS_SELECTOR, "#messages details").click()
        driver.save_screenshot(out)
        driver.quit()
        print("page kept as", out)
    finally:
        station.kill()
        station.wait()
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
