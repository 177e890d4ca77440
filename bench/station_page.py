#!/usr/bin/env python3
"""burst_station with its page open in headless Chromium, fed a recording at the pace of a sound card.

  station_page.py latency BUILD [RATE]... [--mapping M]
                                            latency from the end of each burst to its message on the page,
                                            and the station's CPU use, at each rate (default 8000 48000),
                                            the station listening for mapping M (2, 4, 8 or any; default 4)
  station_page.py soak BUILD [MINUTES]      two pages open for MINUTES (default 10) of 48000 Hz audio:
                                            overruns, events each page got against those sent, RSS over time

BUILD is the build folder (build/release): its tools/encode_stream and tools/burst_station are run. The
machine is named from lscpu. Needs chromium, chromium-driver and python3-selenium (Debian).
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "testing"))
import station_browser as sb  # noqa: E402

SILENCE = 2  # seconds before and after every burst


def machine():
    fields = {}
    for line in subprocess.run(["lscpu"], stdout=subprocess.PIPE, text=True).stdout.splitlines():
        key, _, value = line.partition(":")
        fields[key.strip()] = value.strip()
    return "%s, %s CPUs (%s threads per core), %s MHz max" % (
        fields.get("Model name", "?"), fields.get("CPU(s)", "?"), fields.get("Thread(s) per core", "?"),
        fields.get("CPU max MHz", "?"))


def recording(build, rate, count):
    """count bursts of mode 16 at 500 Hz steps from 1000 Hz, each between SILENCE seconds of silence, with the
    sample index where each ends; burst k has call sign B<k>."""
    samples, ends = b"", []
    for k in range(count):
        one = sb.run([os.path.join(build, "tools", "encode_stream"), "-r", str(rate), "-C", "B%d" % k, "-M", "16",
                      "-f", str(1000 + 500 * (k % 4)), "-s", str(SILENCE), "-t", "burst %d of %d" % (k, count)])
        ends.append(len(samples) // 2 + len(one) // 2 - SILENCE * rate)
        samples += one
    return samples, ends


class Station:
    """burst_station reading raw samples from a pipe, serving its page on a free port."""

    def __init__(self, build, rate, folder, mapping="4"):
        self.url = "http://127.0.0.1:%d/" % sb.free_port()
        self.stderr = open(os.path.join(folder, "station.err"), "w+")
        self.process = subprocess.Popen(
            [os.path.join(build, "tools", "burst_station"), "--input", "-", "--audio-out", os.path.join(folder, "out.wav"),
             "--listen", self.url[7:-1], str(rate), mapping],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=self.stderr)
        sb.wait_for_server(self.url, self.process)

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def rss_kib(self):
        with open("/proc/%d/status" % self.process.pid) as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))

    def finish(self):
        """Ends the input; the station's last status line (overruns) from its standard error."""
        self.process.stdin.close()
        self.process.wait(60)
        self.stderr.seek(0)
        lines = [line for line in self.stderr.read().splitlines() if "overruns" in line]
        return lines[-1] if lines else ""


COUNTS_SCRIPT = "return window.stationCounts;"


def latency(build, rates, mapping):
    print("machine:", machine())
    print("mapping:", mapping)
    for rate in rates:
        folder = tempfile.mkdtemp(prefix="station_latency_")
        samples, ends = recording(build, rate, 12)
        station = Station(build, rate, folder, mapping)
        driver = sb.open_page(station.url, os.path.join(folder, "profile"))
        cpu_before, wall_before = station.cpu_seconds(), time.time()
        start = sb.pace(station.process.stdin, samples, rate)
        wall, cpu = time.time() - wall_before, station.cpu_seconds() - cpu_before
        time.sleep(1)
        heard = {e["call"]: e["received"] for e in sb.entries(driver) if e["received"]}
        delays = sorted(heard["B%d" % k] / 1000 - (start + end / rate) for k, end in enumerate(ends) if "B%d" % k in heard)
        # The part of it that is the receiver's: how much input it takes after a burst's end to report it.
        events = sb.run([os.path.join(build, "decode_stream"), "--format", "json", str(rate), "4"], input=samples)
        reported = [json.loads(line)["time"] for line in events.decode().splitlines() if '"MESSAGE"' in line]
        waits = sorted(t - end / rate for t, end in zip(reported, ends))
        driver.quit()
        status = station.finish()
        shutil.rmtree(folder, ignore_errors=True)
        print("%d Hz: %d of %d bursts on the page; end of burst to page: median %.3f s, max %.3f s "
              "(of which input the receiver needs after the end: median %.3f s); "
              "station CPU %.2f %% of a core over %.0f s of audio" %
              (rate, len(delays), len(ends), delays[len(delays) // 2], delays[-1], waits[len(waits) // 2],
               100 * cpu / wall, wall))
        print("  last status:", status)


def soak(build, minutes):
    print("machine:", machine())
    rate = 48000
    folder = tempfile.mkdtemp(prefix="station_soak_")
    seconds_per_burst = 2 * SILENCE + 1.1
    count = int(minutes * 60 / seconds_per_burst) + 1
    samples, ends = recording(build, rate, count)
    station = Station(build, rate, folder)
    drivers = [sb.open_page(station.url, os.path.join(folder, "profile%d" % i)) for i in range(2)]
    rss = []
    done = threading.Event()

    def sample_rss():
        while not done.wait(10):
            rss.append((round(time.time() - begin), station.rss_kib()))

    begin = time.time()
    sampler = threading.Thread(target=sample_rss)
    sampler.start()
    cpu_before = station.cpu_seconds()
    sb.pace(station.process.stdin, samples, rate)
    cpu = station.cpu_seconds() - cpu_before
    wall = time.time() - begin
    time.sleep(2)
    done.set()
    sampler.join()
    counts = [d.execute_script(COUNTS_SCRIPT) for d in drivers]
    heard = [sum(1 for e in sb.entries(d) if e["payload"]) for d in drivers]
    for d in drivers:
        d.quit()
    status = station.finish()
    shutil.rmtree(folder, ignore_errors=True)
    print("%.1f minutes of %d Hz audio, %d bursts, two pages; station CPU %.2f %% of a core" %
          (len(samples) / 2 / rate / 60, rate, count, 100 * cpu / wall))
    # Two rows for every period of 180 ms, a SYNC and a MESSAGE for every burst.
    rows = 2 * (len(samples) // 2 // (rate * 9 // 50))
    for i, (c, h) in enumerate(zip(counts, heard)):
        print("page %d: %d of %d messages listed; events: %s; sent: %d message, %d row" %
              (i + 1, h, count, json.dumps(c), 2 * count, rows))
    print("last status:", status)
    print("RSS (s, KiB):", " ".join("%d:%d" % r for r in rss))
    later = [kib for _, kib in rss[len(rss) // 10:]]
    print("RSS after the first tenth: min %d KiB, max %d KiB" % (min(later), max(later)))


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in ("latency", "soak"):
        print(__doc__)
        return 2
    if sb.MISSING:
        print("missing:", ", ".join(sb.MISSING))
        return 77
    build = os.path.abspath(sys.argv[2])
    if sys.argv[1] == "latency":
        args, mapping = sys.argv[3:], "4"
        if "--mapping" in args:
            mapping = args[args.index("--mapping") + 1]
            del args[args.index("--mapping"):args.index("--mapping") + 2]
        latency(build, [int(r) for r in args] or [8000, 48000], mapping)
    else:
        soak(build, float(sys.argv[3]) if len(sys.argv) > 3 else 10)
    return 0


if __name__ == "__main__":
    sys.exit(main())
