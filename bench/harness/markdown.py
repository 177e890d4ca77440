"""peers.csv as a Markdown table."""


def cell(text: str, unit: str = "") -> str:
	return "–" if text in ("", None) else f"{text}{unit}"


def pair(a: str, b: str, unit: str = " dB") -> str:
	return "–" if not a and not b else f"{cell(a)} / {cell(b)}{unit}"


def peers(rows: list[dict]) -> str:
	lines = ["| system | mode | demod | rate | payload | air time | bit/s | 99 % band | SNR 90 % | moderate 50 / 90 % "
		 "| poor 50 / 90 % | +3 dB: CFO +50/−50 Hz | ±200 ppm | echo | good / moderate / poor | CPU × real time "
		 "| peak RSS | latency audio / CPU |",
		 "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
	for r in rows:
		rate = f"{r['rate_hz']} Hz" + (" (300–3000)" if r["noise"] == "ssb" else "")
		rss = f"{int(r['peak_rss_kb']) / 1024:.1f} MB" if r.get("peak_rss_kb") else "–"
		latency = (f"{r['latency_audio_ms']} ms / {r['latency_cpu_ms']} ms" if r.get("latency_audio_ms") else "–")
		fading = " / ".join(cell(r.get(f"{p}_pct", "")) for p in ("good", "moderate", "poor"))
		lines.append(
			f"| {r['system']} | {r['mode']} | {cell(r.get('demod', ''))} | {rate} | {r['payload_bytes']} B "
			f"| {cell(r['air_time_s'], ' s')} | {cell(r['payload_bps'])} | {cell(r['bw99_hz'], ' Hz')} "
			f"| {cell(r['snr90_db'], ' dB')} | {pair(r.get('moderate_snr50_db'), r.get('moderate_snr90_db'))} "
			f"| {pair(r.get('poor_snr50_db'), r.get('poor_snr90_db'))} "
			f"| {pair(r.get('cfo_plus50_pct'), r.get('cfo_minus50_pct'), ' %')} "
			f"| {pair(r.get('ppm_plus200_pct'), r.get('ppm_minus200_pct'), ' %')} | {cell(r.get('echo_pct'), ' %')} "
			f"| {fading} % | {cell(r.get('x_realtime'))} | {rss} | {latency} |")
	return "\n".join(lines) + "\n"
